#pragma once
// kelrin-bridge check: starts the helper for the maker's DLL the way the
// station does (preparing this account's prefix first if need be) and
// prints one line for each thing found, a section at a time; the encoder's
// device after the result. Exit status: 0 the thirteen functions resolve
// and the code pages are 936, 1 anything less.
#include <filesystem>

namespace kelrin::bridge::check {

int check(const std::filesystem::path &stationFolder, const std::filesystem::path &trace);

} // namespace kelrin::bridge::check
