// libFuzzer entry point; the check lives in SqlLiteralCheck.h.
#include "SqlLiteralCheck.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return fuzz::runTarget(fuzz::checkSqlLiteral, data, size);
}
