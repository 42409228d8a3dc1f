#pragma once
// A virtual USB encoder with a driver, for the supplied libusb0.dll's tests:
// a umockdev testbed that shows one device at /dev/bus/usb/001/002
// (1209:0002, one vendor interface: bulk out 01, bulk in 81, interrupt in
// 82) and answers its usbfs requests as a model of the encoder:
//   control in, vendor 01      "KLRN"
//   control out, vendor 02     the buzzer: counted
//   bulk out 01 [01]           read the card: bulk in 81 then answers
//                              [81, N, card...], interrupt in 82 [01]
//   string descriptors         language 0409, 1 "Kelrin", 2 "USB test encoder"
// The process that opens it must run under umockdev's preload (umockdev-
// wrapper) with the testbed's UMOCKDEV_DIR, which the model sets.
#include <cstdint>
#include <memory>
#include <string>

namespace kelrin::test {

class UsbModel
{
public:
    enum class Fault
    {
        None,
        Stall,  // the card's bulk in ends with the endpoint stalled
        Silent, // the card's bulk in never completes
        Gone,   // unplugged while the card's bulk in waits
    };

    // `wholeDescriptors` false: sysfs gives the configuration's descriptor
    // cut short, which libusb cannot read.
    explicit UsbModel(bool wholeDescriptors = true);
    ~UsbModel();
    UsbModel(const UsbModel &) = delete;
    UsbModel &operator=(const UsbModel &) = delete;

    void setCard(const std::string &bytes);
    void setFault(Fault fault);
    int buzzes() const;

    struct State;

private:
    std::unique_ptr<State> m_state;
};

} // namespace kelrin::test
