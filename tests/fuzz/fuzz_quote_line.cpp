// libFuzzer entry point; the check lives in QuoteLineCheck.h.
#include "QuoteLineCheck.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return fuzz::runTarget(fuzz::checkQuoteLine, data, size);
}
