/*
 * A virtual HID card encoder for the tests, in user space: these machines'
 * kernel has no USB, uhid or hidraw, so no real hidraw node can exist.
 * Preloaded (LD_PRELOAD) into the Wine processes of a prefix, winedevice.exe
 * among them, and into kelrin-bridge check, it stands in for what winebus.so
 * and the check meet on a machine with the encoder plugged in:
 *
 *   libudev   the functions winebus.so and the check call (enumeration,
 *             devices and their parents, sysfs attributes, the monitor),
 *             defined here so that they replace libudev's; they list one
 *             hidraw device under a sysfs-like tree of real files;
 *   the node  open() of its path gives one end of a socketpair (so poll,
 *             read and write behave as on a hidraw node, a report per
 *             packet); ioctl() answers the hidraw requests for it.
 *
 * The device model on the socketpair's other end has one vendor-defined
 * top-level collection (usage page 0xFF00), 64-byte input and output
 * reports and an 8-byte feature report, no report IDs. It answers:
 *   output 01          input 81 NN CARD...   the card's bytes ($VIRTUAL_HID/card, hex)
 *   output 02          input 82 00           a beep
 *   output other XX    input FF XX
 *   feature set S      feature get gives S with its first byte | 0x80
 *
 * VIRTUAL_HID names the fixture's folder. Its file "faults" (read at each
 * decision, one word a line) puts faults in:
 *   no-access       the node cannot be opened (EACCES), mode 0600
 *   silent          the model never answers an output report
 *   vanish          at the next output report the device is unplugged
 *   no-descriptor   neither sysfs nor the node gives a report descriptor
 *   bad-name        the device's name carries bytes outside UTF-8
 *   needs-driver    a second USB device, with no hidraw or serial node
 */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <linux/hidraw.h>
#include <pthread.h>
#include <stdarg.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#define VENDOR 0x1209
#define PRODUCT 0x0001
#define REPORT 64
#define FEATURE 8
#define MAX_FDS 16
/* Paths of the fixture: a folder of at most 400 bytes keeps them short. */
#define PATH_SIZE 1024

static const unsigned char kDescriptor[] = {
    0x06, 0x00,    0xFF,                         /* Usage Page (vendor 0xFF00) */
    0x09, 0x01,                                  /* Usage (1) */
    0xA1, 0x01,                                  /* Collection (Application) */
    0x15, 0x00,    0x26, 0xFF, 0x00, 0x75, 0x08, /* 0-255, 8 bits */
    0x95, REPORT,  0x09, 0x02, 0x81, 0x02,       /* 64 input bytes */
    0x95, REPORT,  0x09, 0x03, 0x91, 0x02,       /* 64 output bytes */
    0x95, FEATURE, 0x09, 0x04, 0xB1, 0x02,       /* 8 feature bytes */
    0xC0,                                        /* End Collection */
};
static const char kName[] = "Kelrin test encoder";
static const char kBadName[] = "Kelrin \xFF\xFE encoder \xC3";
static const char kDefaultCard[] = "55AA010203040506070809";

static char g_dir[PATH_SIZE];
static char g_node[PATH_SIZE];
static pthread_mutex_t g_lock = PTHREAD_MUTEX_INITIALIZER;
static int g_fds[MAX_FDS];      /* our end of each open of the node, or 0 */
static int g_monitors[MAX_FDS]; /* write ends of the monitors' pipes */
static unsigned char g_feature[FEATURE + 1];

static int (*real_open)(const char *, int, ...);
static int (*real_ioctl)(int, unsigned long, ...);
static int (*real_close)(int);

__attribute__((format(printf, 2, 3))) static void pathOf(char *out, const char *format, ...)
{
    va_list args;
    va_start(args, format);
    vsnprintf(out, PATH_SIZE, format, args);
    va_end(args);
}

static int fault(const char *name)
{
    char path[PATH_SIZE], line[64];
    pathOf(path, "%s/faults", g_dir);
    FILE *file = fopen(path, "re");
    int found = 0;
    if (!file)
        return 0;
    while (!found && fgets(line, sizeof line, file)) {
        line[strcspn(line, "\r\n")] = '\0';
        found = strcmp(line, name) == 0;
    }
    fclose(file);
    return found;
}

static void writeFile(const char *path, const void *bytes, size_t count)
{
    char temporary[PATH_SIZE];
    pathOf(temporary, "%s.%d", path, (int)getpid());
    int fd = real_open(temporary, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return;
    ssize_t put = write(fd, bytes, count);
    real_close(fd);
    if (put == (ssize_t)count)
        rename(temporary, path);
    else
        unlink(temporary);
}

static void writeText(const char *folder, const char *name, const char *text)
{
    char path[PATH_SIZE];
    pathOf(path, "%s/%s", folder, name);
    writeFile(path, text, strlen(text));
}

/* The sysfs-like tree: a USB device, its HID interface, the hidraw node. */
#define USB_PATH "%s/sys/devices/usb1/1-1"
#define HID_PATH USB_PATH "/1-1:1.0/0003:1209:0001.0001"
#define RAW_PATH HID_PATH "/hidraw/hidraw0"
#define OTHER_PATH "%s/sys/devices/usb1/1-2"

static void makeFolders(const char *path)
{
    char built[PATH_SIZE];
    pathOf(built, "%s", path);
    for (char *slash = strchr(built + 1, '/'); slash; slash = strchr(slash + 1, '/')) {
        *slash = '\0';
        mkdir(built, 0755);
        *slash = '/';
    }
    mkdir(built, 0755);
}

static void buildTree(void)
{
    char usb[PATH_SIZE], hid[PATH_SIZE], raw[PATH_SIZE], other[PATH_SIZE], path[PATH_SIZE];
    const char *name = fault("bad-name") ? kBadName : kName;
    pathOf(usb, USB_PATH, g_dir);
    pathOf(hid, HID_PATH, g_dir);
    pathOf(raw, RAW_PATH, g_dir);
    pathOf(other, OTHER_PATH, g_dir);
    makeFolders(raw);
    writeText(usb, "idVendor", "1209");
    writeText(usb, "idProduct", "0001");
    writeText(usb, "manufacturer", "Kelrin tests");
    writeText(usb, "product", name);
    writeText(usb, "uevent", "DEVTYPE=usb_device\nPRODUCT=1209/1/100\n");
    pathOf(path, "HID_ID=0003:00001209:00000001\nHID_NAME=%s\nHID_PHYS=usb-virtual-1/input0\n",
           name);
    writeText(hid, "uevent", path);
    pathOf(path, "%s/report_descriptor", hid);
    if (fault("no-descriptor"))
        unlink(path);
    else
        writeFile(path, kDescriptor, sizeof kDescriptor);
    writeText(raw, "uevent", "MAJOR=241\nMINOR=0\nDEVNAME=hidraw0\n");
    if (fault("needs-driver")) {
        makeFolders(other);
        writeText(other, "idVendor", "1209");
        writeText(other, "idProduct", "0002");
        writeText(other, "product", "Kelrin test encoder with a driver");
        writeText(other, "uevent", "DEVTYPE=usb_device\nPRODUCT=1209/2/100\n");
    }
    /* The node: a plain file, so that stat shows an owner, group and mode. */
    int fd = real_open(g_node, O_WRONLY | O_CREAT | O_CLOEXEC, 0660);
    if (fd >= 0)
        real_close(fd);
    chmod(g_node, fault("no-access") ? 0600 : 0660);
}

static int gone(void)
{
    char path[PATH_SIZE];
    pathOf(path, "%s/gone", g_dir);
    return access(path, F_OK) == 0;
}

__attribute__((constructor)) static void start(void)
{
    /* POSIX's way to a function pointer from dlsym. */
    *(void **)&real_open = dlsym(RTLD_NEXT, "open");
    *(void **)&real_ioctl = dlsym(RTLD_NEXT, "ioctl");
    *(void **)&real_close = dlsym(RTLD_NEXT, "close");
    const char *dir = getenv("VIRTUAL_HID");
    if (!dir || !*dir || strlen(dir) > 400)
        return;
    pathOf(g_dir, "%s", dir);
    pathOf(g_node, "%s/dev/hidraw0", g_dir);
    char folder[PATH_SIZE];
    pathOf(folder, "%s/dev", g_dir);
    makeFolders(folder);
    buildTree();
}

/* The device model. */

static size_t cardBytes(unsigned char *bytes, size_t capacity)
{
    char path[PATH_SIZE], hex[256] = "";
    pathOf(path, "%s/card", g_dir);
    FILE *file = fopen(path, "re");
    if (!file || !fgets(hex, sizeof hex, file))
        pathOf(hex, "%s", kDefaultCard);
    if (file)
        fclose(file);
    size_t count = 0;
    for (const char *p = hex; count < capacity && p[0] && p[1]; p += 2) {
        unsigned value;
        if (sscanf(p, "%2x", &value) != 1)
            break;
        bytes[count++] = (unsigned char)value;
    }
    return count;
}

static void unplug(int fd)
{
    char path[PATH_SIZE];
    pathOf(path, "%s/gone", g_dir);
    writeFile(path, "", 0);
    pthread_mutex_lock(&g_lock);
    for (int i = 0; i < MAX_FDS; ++i) {
        if (g_monitors[i] > 0 && write(g_monitors[i], "r", 1) != 1)
            g_monitors[i] = 0;
    }
    pthread_mutex_unlock(&g_lock);
    shutdown(fd, SHUT_RDWR);
}

static void *serve(void *arg)
{
    const int fd = (int)(intptr_t)arg;
    unsigned char in[REPORT + 1], out[REPORT];
    for (;;) {
        const ssize_t got = recv(fd, in, sizeof in, 0);
        if (got <= 0)
            break;
        /* hidraw: a report number in front, 0 for unnumbered reports. */
        const unsigned char command = got > 1 ? in[1] : 0;
        if (fault("vanish")) {
            unplug(fd);
            break;
        }
        if (fault("silent"))
            continue;
        memset(out, 0, sizeof out);
        if (command == 0x01) {
            out[0] = 0x81;
            out[1] = (unsigned char)cardBytes(out + 2, REPORT - 2);
        } else if (command == 0x02) {
            out[0] = 0x82;
        } else {
            out[0] = 0xFF;
            out[1] = command;
        }
        if (send(fd, out, sizeof out, MSG_NOSIGNAL) < 0)
            break;
    }
    real_close(fd);
    return NULL;
}

static int isNode(const char *path)
{
    return g_dir[0] && path && strcmp(path, g_node) == 0;
}

static int deviceSlot(int fd)
{
    for (int i = 0; fd >= 0 && i < MAX_FDS; ++i) {
        if (g_fds[i] == fd + 1)
            return i;
    }
    return -1;
}

static int openNode(int flags)
{
    if (gone()) {
        errno = ENOENT;
        return -1;
    }
    if (fault("no-access")) {
        errno = EACCES;
        return -1;
    }
    int pair[2];
    const int type = SOCK_SEQPACKET | SOCK_CLOEXEC;
    if (socketpair(AF_UNIX, (flags & O_NONBLOCK) ? type | SOCK_NONBLOCK : type, 0, pair) != 0)
        return -1;
    /* The model's end blocks whatever the caller asked for its own. */
    fcntl(pair[1], F_SETFL, 0);
    pthread_t thread;
    if (pthread_create(&thread, NULL, serve, (void *)(intptr_t)pair[1]) != 0) {
        real_close(pair[0]);
        real_close(pair[1]);
        errno = EIO;
        return -1;
    }
    pthread_detach(thread);
    pthread_mutex_lock(&g_lock);
    for (int i = 0; i < MAX_FDS; ++i) {
        if (g_fds[i] == 0) {
            g_fds[i] = pair[0] + 1;
            break;
        }
    }
    pthread_mutex_unlock(&g_lock);
    return pair[0];
}

int open(const char *path, int flags, ...)
{
    mode_t mode = 0;
    if (flags & (O_CREAT | O_TMPFILE)) {
        va_list args;
        va_start(args, flags);
        mode = va_arg(args, mode_t);
        va_end(args);
    }
    if (isNode(path))
        return openNode(flags);
    return real_open(path, flags, mode);
}

int open64(const char *path, int flags, ...) __attribute__((alias("open")));

int close(int fd)
{
    pthread_mutex_lock(&g_lock);
    const int slot = deviceSlot(fd);
    if (slot >= 0)
        g_fds[slot] = 0;
    pthread_mutex_unlock(&g_lock);
    return real_close(fd);
}

static int hidIoctl(unsigned long request, void *arg)
{
    const unsigned nr = _IOC_NR(request), size = _IOC_SIZE(request);
    if (_IOC_TYPE(request) != 'H')
        return errno = ENOTTY, -1;
    if (gone())
        return errno = ENODEV, -1;
    if (request == HIDIOCGRDESCSIZE) {
        if (fault("no-descriptor"))
            return errno = EIO, -1;
        *(int *)arg = (int)sizeof kDescriptor;
        return 0;
    }
    if (request == HIDIOCGRDESC) {
        struct hidraw_report_descriptor *descriptor = arg;
        if (fault("no-descriptor") || descriptor->size < sizeof kDescriptor)
            return errno = EINVAL, -1;
        memcpy(descriptor->value, kDescriptor, sizeof kDescriptor);
        return 0;
    }
    if (request == HIDIOCGRAWINFO) {
        struct hidraw_devinfo *info = arg;
        info->bustype = 3; /* BUS_USB */
        info->vendor = VENDOR;
        info->product = PRODUCT;
        return 0;
    }
    if (nr == _IOC_NR(HIDIOCGRAWNAME(0))) {
        const char *name = fault("bad-name") ? kBadName : kName;
        const size_t length = strlen(name) + 1 < size ? strlen(name) + 1 : size;
        memcpy(arg, name, length);
        return (int)length;
    }
    if (nr == _IOC_NR(HIDIOCGRAWPHYS(0))) {
        snprintf(arg, size, "usb-virtual-1/input0");
        return (int)strlen(arg) + 1;
    }
    if (nr == _IOC_NR(HIDIOCSFEATURE(0)) || nr == _IOC_NR(HIDIOCGFEATURE(0))) {
        unsigned char *report = arg;
        const size_t count = size < FEATURE + 1 ? size : FEATURE + 1;
        if (report[0] != 0)
            return errno = EINVAL, -1;
        pthread_mutex_lock(&g_lock);
        if (nr == _IOC_NR(HIDIOCGFEATURE(0))) {
            memcpy(report, g_feature, count);
            report[1] |= 0x80;
        } else {
            memcpy(g_feature, report, count);
        }
        pthread_mutex_unlock(&g_lock);
        return (int)count;
    }
    return errno = EINVAL, -1;
}

int ioctl(int fd, unsigned long request, ...)
{
    va_list args;
    va_start(args, request);
    void *arg = va_arg(args, void *);
    va_end(args);
    pthread_mutex_lock(&g_lock);
    const int ours = deviceSlot(fd) >= 0;
    pthread_mutex_unlock(&g_lock);
    if (ours)
        return hidIoctl(request, arg);
    return real_ioctl(fd, request, arg);
}

/* libudev, as far as winebus.so and the check use it. */

struct udev
{
    int refs;
};

struct udev_list_entry
{
    struct udev_list_entry *next;
    char name[PATH_SIZE];
};

struct udev_device
{
    int refs;
    char syspath[PATH_SIZE];
    const char *subsystem;
    const char *devtype;
    char devnode[PATH_SIZE];
    const char *action;
    struct udev_device *parent;
    struct udev_list_entry *attributes; /* name, value after the NUL */
};

struct udev_enumerate
{
    int hidraw, usb;
    struct udev_list_entry *entries;
};

struct udev_monitor
{
    int pipe[2];
};

static void freeList(struct udev_list_entry *entry)
{
    while (entry) {
        struct udev_list_entry *next = entry->next;
        free(entry);
        entry = next;
    }
}

struct udev *udev_new(void)
{
    struct udev *udev = calloc(1, sizeof *udev);
    if (udev)
        udev->refs = 1;
    return udev;
}

struct udev *udev_ref(struct udev *udev)
{
    if (udev)
        ++udev->refs;
    return udev;
}

struct udev *udev_unref(struct udev *udev)
{
    if (udev && --udev->refs == 0)
        free(udev);
    return NULL;
}

static struct udev_device *newDevice(const char *syspath, const char *subsystem,
                                     const char *devtype)
{
    struct udev_device *device = calloc(1, sizeof *device);
    if (!device)
        return NULL;
    device->refs = 1;
    pathOf(device->syspath, "%s", syspath);
    device->subsystem = subsystem;
    device->devtype = devtype;
    return device;
}

struct udev_device *udev_device_new_from_syspath(struct udev *udev, const char *syspath)
{
    (void)udev;
    char usb[PATH_SIZE], hid[PATH_SIZE], raw[PATH_SIZE], other[PATH_SIZE];
    if (!g_dir[0] || !syspath)
        return NULL;
    pathOf(usb, USB_PATH, g_dir);
    pathOf(hid, HID_PATH, g_dir);
    pathOf(raw, RAW_PATH, g_dir);
    pathOf(other, OTHER_PATH, g_dir);
    struct udev_device *device = NULL;
    if (strcmp(syspath, raw) == 0 && !gone()) {
        device = newDevice(raw, "hidraw", NULL);
        pathOf(device->devnode, "%s", g_node);
        device->parent = newDevice(hid, "hid", NULL);
        device->parent->parent = newDevice(usb, "usb", "usb_device");
    } else if (strcmp(syspath, hid) == 0 && !gone()) {
        device = newDevice(hid, "hid", NULL);
        device->parent = newDevice(usb, "usb", "usb_device");
    } else if (strcmp(syspath, usb) == 0 && !gone()) {
        device = newDevice(usb, "usb", "usb_device");
    } else if (strcmp(syspath, other) == 0 && fault("needs-driver")) {
        device = newDevice(other, "usb", "usb_device");
    }
    return device;
}

struct udev_device *udev_device_ref(struct udev_device *device)
{
    if (device)
        ++device->refs;
    return device;
}

struct udev_device *udev_device_unref(struct udev_device *device)
{
    if (device && --device->refs == 0) {
        if (device->parent)
            udev_device_unref(device->parent);
        freeList(device->attributes);
        free(device);
    }
    return NULL;
}

const char *udev_device_get_syspath(struct udev_device *device)
{
    return device ? device->syspath : NULL;
}

const char *udev_device_get_sysname(struct udev_device *device)
{
    const char *slash = device ? strrchr(device->syspath, '/') : NULL;
    return slash ? slash + 1 : NULL;
}

const char *udev_device_get_subsystem(struct udev_device *device)
{
    return device ? device->subsystem : NULL;
}

const char *udev_device_get_devtype(struct udev_device *device)
{
    return device ? device->devtype : NULL;
}

const char *udev_device_get_devnode(struct udev_device *device)
{
    return device && device->devnode[0] ? device->devnode : NULL;
}

const char *udev_device_get_action(struct udev_device *device)
{
    return device ? device->action : NULL;
}

const char *udev_device_get_driver(struct udev_device *device)
{
    return device && strcmp(device->subsystem, "usb") == 0 ? "usb" : NULL;
}

struct udev_device *udev_device_get_parent(struct udev_device *device)
{
    return device ? device->parent : NULL;
}

struct udev_device *udev_device_get_parent_with_subsystem_devtype(struct udev_device *device,
                                                                  const char *subsystem,
                                                                  const char *devtype)
{
    for (struct udev_device *up = device ? device->parent : NULL; up; up = up->parent) {
        if (strcmp(up->subsystem, subsystem) == 0 &&
            (!devtype || (up->devtype && strcmp(up->devtype, devtype) == 0)))
            return up;
    }
    return NULL;
}

const char *udev_device_get_sysattr_value(struct udev_device *device, const char *name)
{
    if (!device || !name || strchr(name, '/'))
        return NULL;
    for (struct udev_list_entry *entry = device->attributes; entry; entry = entry->next) {
        if (strcmp(entry->name, name) == 0)
            return entry->name + strlen(name) + 1;
    }
    char path[PATH_SIZE];
    pathOf(path, "%s/%s", device->syspath, name);
    FILE *file = fopen(path, "re");
    if (!file)
        return NULL;
    struct udev_list_entry *entry = calloc(1, sizeof *entry);
    if (!entry) {
        fclose(file);
        return NULL;
    }
    const size_t nameLength = strlen(name) + 1;
    memcpy(entry->name, name, nameLength);
    const size_t got =
        fread(entry->name + nameLength, 1, sizeof entry->name - nameLength - 1, file);
    fclose(file);
    char *value = entry->name + nameLength;
    value[got] = '\0';
    /* As libudev gives it: without the trailing newline. */
    if (got > 0 && value[got - 1] == '\n' && strcmp(name, "uevent") != 0)
        value[got - 1] = '\0';
    entry->next = device->attributes;
    device->attributes = entry;
    return value;
}

const char *udev_device_get_property_value(struct udev_device *device, const char *key)
{
    if (!device || !key)
        return NULL;
    if (strcmp(key, "SUBSYSTEM") == 0)
        return device->subsystem;
    if (strcmp(key, "DEVNAME") == 0)
        return udev_device_get_devnode(device);
    return NULL;
}

struct udev_enumerate *udev_enumerate_new(struct udev *udev)
{
    (void)udev;
    return calloc(1, sizeof(struct udev_enumerate));
}

struct udev_enumerate *udev_enumerate_unref(struct udev_enumerate *enumerate)
{
    if (enumerate) {
        freeList(enumerate->entries);
        free(enumerate);
    }
    return NULL;
}

int udev_enumerate_add_match_subsystem(struct udev_enumerate *enumerate, const char *subsystem)
{
    if (!enumerate || !subsystem)
        return -EINVAL;
    if (strcmp(subsystem, "hidraw") == 0)
        enumerate->hidraw = 1;
    else if (strcmp(subsystem, "usb") == 0)
        enumerate->usb = 1;
    return 0;
}

int udev_enumerate_add_match_property(struct udev_enumerate *enumerate, const char *key,
                                      const char *value)
{
    (void)enumerate, (void)key, (void)value;
    return 0;
}

__attribute__((format(printf, 2, 0))) static void addEntry(struct udev_enumerate *enumerate,
                                                           const char *format)
{
    struct udev_list_entry *entry = calloc(1, sizeof *entry), **last = &enumerate->entries;
    if (!entry)
        return;
    pathOf(entry->name, format, g_dir);
    while (*last)
        last = &(*last)->next;
    *last = entry;
}

int udev_enumerate_scan_devices(struct udev_enumerate *enumerate)
{
    if (!enumerate)
        return -EINVAL;
    if (!g_dir[0])
        return 0;
    buildTree();
    if (enumerate->hidraw && !gone())
        addEntry(enumerate, RAW_PATH);
    if (enumerate->usb && !gone())
        addEntry(enumerate, USB_PATH);
    if (enumerate->usb && fault("needs-driver"))
        addEntry(enumerate, OTHER_PATH);
    return 0;
}

struct udev_list_entry *udev_enumerate_get_list_entry(struct udev_enumerate *enumerate)
{
    return enumerate ? enumerate->entries : NULL;
}

struct udev_list_entry *udev_list_entry_get_next(struct udev_list_entry *entry)
{
    return entry ? entry->next : NULL;
}

const char *udev_list_entry_get_name(struct udev_list_entry *entry)
{
    return entry ? entry->name : NULL;
}

const char *udev_list_entry_get_value(struct udev_list_entry *entry)
{
    (void)entry;
    return NULL;
}

struct udev_monitor *udev_monitor_new_from_netlink(struct udev *udev, const char *name)
{
    (void)udev, (void)name;
    struct udev_monitor *monitor = calloc(1, sizeof *monitor);
    if (monitor && pipe2(monitor->pipe, O_CLOEXEC) != 0) {
        free(monitor);
        return NULL;
    }
    if (monitor) {
        pthread_mutex_lock(&g_lock);
        for (int i = 0; i < MAX_FDS; ++i) {
            if (g_monitors[i] == 0) {
                g_monitors[i] = monitor->pipe[1];
                break;
            }
        }
        pthread_mutex_unlock(&g_lock);
    }
    return monitor;
}

int udev_monitor_filter_add_match_subsystem_devtype(struct udev_monitor *monitor,
                                                    const char *subsystem, const char *devtype)
{
    (void)monitor, (void)subsystem, (void)devtype;
    return 0;
}

int udev_monitor_enable_receiving(struct udev_monitor *monitor)
{
    return monitor ? 0 : -EINVAL;
}

int udev_monitor_get_fd(struct udev_monitor *monitor)
{
    return monitor ? monitor->pipe[0] : -1;
}

struct udev_device *udev_monitor_receive_device(struct udev_monitor *monitor)
{
    char event;
    if (!monitor || read(monitor->pipe[0], &event, 1) != 1)
        return NULL;
    char raw[PATH_SIZE];
    pathOf(raw, RAW_PATH, g_dir);
    struct udev_device *device = newDevice(raw, "hidraw", NULL);
    if (device) {
        pathOf(device->devnode, "%s", g_node);
        device->action = "remove";
    }
    return device;
}

struct udev_monitor *udev_monitor_unref(struct udev_monitor *monitor)
{
    if (monitor) {
        pthread_mutex_lock(&g_lock);
        for (int i = 0; i < MAX_FDS; ++i) {
            if (g_monitors[i] == monitor->pipe[1])
                g_monitors[i] = 0;
        }
        pthread_mutex_unlock(&g_lock);
        real_close(monitor->pipe[0]);
        real_close(monitor->pipe[1]);
        free(monitor);
    }
    return NULL;
}
