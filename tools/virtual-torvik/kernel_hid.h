// What the virtual Torvik's kernel drivers (the minidriver and the
// collection driver) share: the kernel headers as C++ takes them, and the
// HID class's requests as hidport.h declares them (MinGW-w64 has no such
// header, and its hidclass.h has wrong values for these codes).
#pragma once

// wdm.h defines these two itself, as static functions, and intrin.h (which
// it includes) has them too: in C++ that is an error. intrin.h leaves out
// the ones marked as defined already.
#define __INTRINSIC_DEFINED_InterlockedBitTestAndSet
#define __INTRINSIC_DEFINED_InterlockedBitTestAndReset
#include <ntddk.h>

namespace kernelhid {

constexpr ULONG hidcode(ULONG function) {
    return CTL_CODE(FILE_DEVICE_KEYBOARD, function, METHOD_NEITHER, FILE_ANY_ACCESS);
}
constexpr ULONG IOCTL_GET_DEVICE_DESCRIPTOR = hidcode(0);
constexpr ULONG IOCTL_GET_REPORT_DESCRIPTOR = hidcode(1);
constexpr ULONG IOCTL_READ_REPORT = hidcode(2);
constexpr ULONG IOCTL_WRITE_REPORT = hidcode(3);
constexpr ULONG IOCTL_GET_STRING = hidcode(4);
constexpr ULONG IOCTL_ACTIVATE_DEVICE = hidcode(7);
constexpr ULONG IOCTL_DEACTIVATE_DEVICE = hidcode(8);
constexpr ULONG IOCTL_GET_DEVICE_ATTRIBUTES = hidcode(9);
// The same code serves a program's HidD_GetIndexedString (the index in the
// input buffer) and the class driver's request to the minidriver (index and
// language in Type3InputBuffer); the string goes to the buffer of the MDL.
constexpr ULONG IOCTL_GET_INDEXED_STRING = 0xB01E2;

// The language Windows' HID class asks a device's strings in.
constexpr ULONG STRING_LANGUAGE_US_ENGLISH = 0x0409;

}  // namespace kernelhid
