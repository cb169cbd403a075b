// libFuzzer entry for the HTTP request parser: `make fuzz` builds and runs it.

#include "fuzz/http_request_check.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

// Every input that declares a body of a megabyte or more frees the megabyte the reader reserves
// for it; ASan's default quarantine of 256 MiB keeps them all, and the fuzzer's memory with them.
// A smaller one still catches a use of a buffer freed within the last several thousand inputs.
extern "C" const char* __asan_default_options()
{
    return "quarantine_size_mb=32";
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArrayView bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    quint32 seed = 0;
    for (size_t i = 0; i < size && i < 16; ++i)
        seed = seed * 31 + data[i];
    seed += quint32(size);
    // The product's limit, and a tiny one so that the fuzzer reaches bodies over it.
    for (const qint64 maxBodyBytes : {vesker::kHTTPMaxBodyBytes, qint64(16)}) {
        const QString failure = vesker::fuzz::checkRequestBytes(bytes, maxBodyBytes, seed);
        if (!failure.isEmpty()) {
            std::fprintf(stderr, "http_request_fuzz: %s\n", failure.toUtf8().constData());
            std::abort();
        }
    }
    return 0;
}
