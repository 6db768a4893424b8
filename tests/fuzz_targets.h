// Bodies of the fuzz targets. Each takes arbitrary bytes, drives one parser
// or converter with them and aborts when an invariant breaks. The libFuzzer
// entry points in fuzz/ call them, and the unit tests replay each target's
// saved corpus through them, so the corpora are checked without clang.
#pragma once
#include <cstddef>
#include <cstdint>

// A listing file: line splitting, the line parser, size texts.
int fuzz_listing(const uint8_t* data, size_t size);
// The control connection's byte stream, cut into reads, through ReplyFramer.
int fuzz_reply_framer(const uint8_t* data, size_t size);
// The path of a "257" reply and the PORT line.
int fuzz_reply_texts(const uint8_t* data, size_t size);
// server.lst bytes: parse, serialize, parse again.
int fuzz_server_list(const uint8_t* data, size_t size);
// Section and key names of the settings store, in memory and through the file.
int fuzz_settings_names(const uint8_t* data, size_t size);
// A byte stream in UTF-8, CP932 or EUC-JP decoded in reads against all at once.
int fuzz_codepage_stream(const uint8_t* data, size_t size);

struct FuzzTarget {
    const char* name; // folder of its corpus under fuzz/corpus, and fuzz/fuzz_<name>.cpp
    int (*run)(const uint8_t* data, size_t size);
};
extern const FuzzTarget kFuzzTargets[];
extern const size_t kFuzzTargetCount;

// Named in the message of a broken invariant (the corpus file being replayed).
extern const char* fuzz_current_input;
