// The companion DLL that one test DLL imports: found only when it lies in
// that DLL's own folder, as a maker's companion DLLs do.
extern "C" __declspec(dllexport) int companionValue()
{
    return 42;
}
