// The device core fed whatever a host writes, in any order, with faults
// added through the bounded add(): the input is a list of steps
// (core_steps.h), run against a core started without faults.
#include "core_steps.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    coresteps::faults = {};
    coresteps::runsteps(FieldInput{data, size});
    return 0;
}
