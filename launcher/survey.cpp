#include "survey.h"

#include "hid/discovery.h"
#include "platform/platform.h"

namespace {

// Device paths are about a hundred characters; a longer one is only cut
// short in the log.
constexpr DWORD DEVICE_PATH_SIZE = 512;

}  // namespace

TorvikSurvey surveytorviks(int vendor_id, int product_id) {
    TorvikSurvey survey;
    char path[DEVICE_PATH_SIZE];
    for (int position = 0;; ++position) {
        HANDLE device = connectToIthUSBHIDDevice(position, path, DEVICE_PATH_SIZE);
        if (device == INVALID_HANDLE_VALUE) {
            return survey;
        }
        HIDD_ATTRIBUTES attributes = {};
        attributes.Size = sizeof(attributes);
        // An interface whose attributes cannot be read is passed over: unlike
        // the updater, the survey goes on to count the others.
        if (HidD_GetAttributes(device, &attributes) && attributes.VendorID == vendor_id &&
            attributes.ProductID == product_id) {
            if (!hasbootloadermarker(device)) {
                ++survey.in_normal_firmware;
            } else if (++survey.in_bootloader == 1) {
                survey.first_in_bootloader = {attributes.VendorID, attributes.ProductID,
                                              attributes.VersionNumber, path};
            }
        }
        CloseHandle(device);
    }
}
