#pragma once
// A sysfs tree of a test's own with one USB serial adapter above a tty,
// laid out as the kernel lays it out, for the bridge to find the adapter in
// as in /sys.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include <sys/stat.h>
#include <sys/sysmacros.h>

// A sysfs tree with one USB serial adapter whose tty has the device number
// of `node`, as the kernel lays out a ttyUSB port (usb-serial) or a ttyACM
// one (its tty right under the interface).
struct FakeAdapter
{
    std::string driver, vendor, product, revision, serial;
    bool acm = false;
};

inline void writeAttribute(const std::filesystem::path &file, const std::string &text)
{
    std::filesystem::create_directories(file.parent_path());
    std::ofstream(file) << text << '\n';
}

inline void layOut(const std::filesystem::path &sysfs, const std::filesystem::path &node,
                   const FakeAdapter &a)
{
    const std::filesystem::path usb = sysfs / "devices/pci0000:00/0000:00:14.0/usb1/1-1/1-1.2";
    writeAttribute(usb / "idVendor", a.vendor);
    writeAttribute(usb / "idProduct", a.product);
    writeAttribute(usb / "bcdDevice", a.revision);
    writeAttribute(usb / "product", "USB Serial");
    if (!a.serial.empty())
        writeAttribute(usb / "serial", a.serial);
    const std::filesystem::path interface = usb / "1-1.2:1.0";
    writeAttribute(interface / "bInterfaceNumber", "00");
    std::filesystem::create_directories(sysfs / "bus/usb/drivers" / a.driver);
    std::filesystem::create_directory_symlink(sysfs / "bus/usb/drivers" / a.driver,
                                              interface / "driver");
    const std::filesystem::path tty =
        a.acm ? interface / "tty/ttyACM0" : interface / "ttyUSB0/tty/ttyUSB0";
    std::filesystem::create_directories(tty);
    struct stat facts
    {
    };
    ASSERT_EQ(::stat(node.c_str(), &facts), 0);
    std::filesystem::create_directories(sysfs / "dev/char");
    std::filesystem::create_directory_symlink(tty, sysfs / "dev/char" /
                                                       (std::to_string(major(facts.st_rdev)) + ":" +
                                                        std::to_string(minor(facts.st_rdev))));
}
