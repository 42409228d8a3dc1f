#pragma once
// The API of libusb-win32's libusb0.dll as device DLLs were compiled against
// it: cdecl functions, byte-packed structures, paths of LIBUSB_PATH_MAX
// bytes. Include it after windows.h. Written from the library's published facts, for the
// libusb0.dll the bridge supplies under Wine and for the tests' DLL that uses it.
#include <stddef.h>

// Windows' headers make "interface" a keyword of COM; here it names fields.
#ifdef interface
#undef interface
#endif

#define LIBUSB_PATH_MAX 512

#define USB_DT_DEVICE 0x01
#define USB_DT_CONFIG 0x02
#define USB_DT_STRING 0x03
#define USB_DT_INTERFACE 0x04
#define USB_DT_ENDPOINT 0x05

#define USB_ENDPOINT_IN 0x80
#define USB_ENDPOINT_OUT 0x00
#define USB_TYPE_STANDARD (0x00 << 5)
#define USB_TYPE_CLASS (0x01 << 5)
#define USB_TYPE_VENDOR (0x02 << 5)
#define USB_RECIP_DEVICE 0x00
#define USB_RECIP_INTERFACE 0x01
#define USB_REQ_GET_DESCRIPTOR 0x06

#pragma pack(push, 1)

struct usb_endpoint_descriptor
{
    unsigned char bLength;
    unsigned char bDescriptorType;
    unsigned char bEndpointAddress;
    unsigned char bmAttributes;
    unsigned short wMaxPacketSize;
    unsigned char bInterval;
    unsigned char bRefresh;
    unsigned char bSynchAddress;
    unsigned char *extra;
    int extralen;
};

struct usb_interface_descriptor
{
    unsigned char bLength;
    unsigned char bDescriptorType;
    unsigned char bInterfaceNumber;
    unsigned char bAlternateSetting;
    unsigned char bNumEndpoints;
    unsigned char bInterfaceClass;
    unsigned char bInterfaceSubClass;
    unsigned char bInterfaceProtocol;
    unsigned char iInterface;
    struct usb_endpoint_descriptor *endpoint;
    unsigned char *extra;
    int extralen;
};

struct usb_interface
{
    struct usb_interface_descriptor *altsetting;
    int num_altsetting;
};

struct usb_config_descriptor
{
    unsigned char bLength;
    unsigned char bDescriptorType;
    unsigned short wTotalLength;
    unsigned char bNumInterfaces;
    unsigned char bConfigurationValue;
    unsigned char iConfiguration;
    unsigned char bmAttributes;
    unsigned char MaxPower;
    struct usb_interface *interface;
    unsigned char *extra;
    int extralen;
};

struct usb_device_descriptor
{
    unsigned char bLength;
    unsigned char bDescriptorType;
    unsigned short bcdUSB;
    unsigned char bDeviceClass;
    unsigned char bDeviceSubClass;
    unsigned char bDeviceProtocol;
    unsigned char bMaxPacketSize0;
    unsigned short idVendor;
    unsigned short idProduct;
    unsigned short bcdDevice;
    unsigned char iManufacturer;
    unsigned char iProduct;
    unsigned char iSerialNumber;
    unsigned char bNumConfigurations;
};

struct usb_bus;

struct usb_device
{
    struct usb_device *next, *prev;
    char filename[LIBUSB_PATH_MAX];
    struct usb_bus *bus;
    struct usb_device_descriptor descriptor;
    struct usb_config_descriptor *config;
    void *dev;
    unsigned char devnum;
    unsigned char num_children;
    struct usb_device **children;
};

struct usb_bus
{
    struct usb_bus *next, *prev;
    char dirname[LIBUSB_PATH_MAX];
    struct usb_device *devices;
    unsigned long location;
    struct usb_device *root_dev;
};

struct usb_version
{
    struct
    {
        int major, minor, micro, nano;
    } dll;
    struct
    {
        int major, minor, micro, nano;
    } driver;
};

#pragma pack(pop)

typedef struct usb_dev_handle usb_dev_handle;

#ifdef KELRIN_BUILDING_LIBUSB0
#define LIBUSB0_API __declspec(dllexport)
#else
#define LIBUSB0_API __declspec(dllimport)
#endif

#ifdef __cplusplus
extern "C" {
#endif

LIBUSB0_API usb_dev_handle *usb_open(struct usb_device *dev);
LIBUSB0_API int usb_close(usb_dev_handle *dev);
LIBUSB0_API int usb_get_string(usb_dev_handle *dev, int index, int langid, char *buf,
                               size_t buflen);
LIBUSB0_API int usb_get_string_simple(usb_dev_handle *dev, int index, char *buf, size_t buflen);
LIBUSB0_API int usb_get_descriptor_by_endpoint(usb_dev_handle *dev, int ep, unsigned char type,
                                               unsigned char index, void *buf, int size);
LIBUSB0_API int usb_get_descriptor(usb_dev_handle *dev, unsigned char type, unsigned char index,
                                   void *buf, int size);
LIBUSB0_API int usb_bulk_write(usb_dev_handle *dev, int ep, char *bytes, int size, int timeout);
LIBUSB0_API int usb_bulk_read(usb_dev_handle *dev, int ep, char *bytes, int size, int timeout);
LIBUSB0_API int usb_interrupt_write(usb_dev_handle *dev, int ep, char *bytes, int size,
                                    int timeout);
LIBUSB0_API int usb_interrupt_read(usb_dev_handle *dev, int ep, char *bytes, int size, int timeout);
LIBUSB0_API int usb_control_msg(usb_dev_handle *dev, int requesttype, int request, int value,
                                int index, char *bytes, int size, int timeout);
LIBUSB0_API int usb_set_configuration(usb_dev_handle *dev, int configuration);
LIBUSB0_API int usb_claim_interface(usb_dev_handle *dev, int interface);
LIBUSB0_API int usb_release_interface(usb_dev_handle *dev, int interface);
LIBUSB0_API int usb_set_altinterface(usb_dev_handle *dev, int alternate);
LIBUSB0_API int usb_resetep(usb_dev_handle *dev, unsigned int ep);
LIBUSB0_API int usb_clear_halt(usb_dev_handle *dev, unsigned int ep);
LIBUSB0_API int usb_reset(usb_dev_handle *dev);
LIBUSB0_API int usb_reset_ex(usb_dev_handle *dev, unsigned int reset_type);
LIBUSB0_API char *usb_strerror(void);
LIBUSB0_API void usb_init(void);
LIBUSB0_API void usb_set_debug(int level);
LIBUSB0_API int usb_find_busses(void);
LIBUSB0_API int usb_find_devices(void);
LIBUSB0_API struct usb_device *usb_device(usb_dev_handle *dev);
LIBUSB0_API struct usb_bus *usb_get_busses(void);
LIBUSB0_API const struct usb_version *usb_get_version(void);
LIBUSB0_API int usb_isochronous_setup_async(usb_dev_handle *dev, void **context, unsigned char ep,
                                            int pktsize);
LIBUSB0_API int usb_bulk_setup_async(usb_dev_handle *dev, void **context, unsigned char ep);
LIBUSB0_API int usb_interrupt_setup_async(usb_dev_handle *dev, void **context, unsigned char ep);
LIBUSB0_API int usb_submit_async(void *context, char *bytes, int size);
LIBUSB0_API int usb_reap_async(void *context, int timeout);
LIBUSB0_API int usb_reap_async_nocancel(void *context, int timeout);
LIBUSB0_API int usb_cancel_async(void *context);
LIBUSB0_API int usb_free_async(void **context);

#ifdef __cplusplus
}
#endif
