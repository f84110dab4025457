// The document rules and text operations on arbitrary bytes: no crash, no read out of range, and the few
// properties every caller relies on.
#include "text/document.h"
#include "text/entries.h"
#include "text/markers.h"
#include "text/page_text.h"
#include "text/text_ops.h"

#include <cstdint>
#include <cstdlib>
#include <fuzzer/FuzzedDataProvider.h>
#include <string>

using namespace clipnest;

namespace {

void check(bool ok) {
    if (!ok) {
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    const std::string name = in.ConsumeRandomLengthString(64);
    const std::string token = in.ConsumeRandomLengthString(16);
    const std::string value = in.ConsumeRandomLengthString(64);
    const std::string bytes = in.ConsumeRemainingBytesAsString();

    std::string text = linesWithLf(bytes);
    check(text.find('\r') == std::string::npos);
    check(bytes.empty() ? text.empty() : text.ends_with('\n'));

    const std::string sample = buildSampleEntry();
    std::string seeded = text;
    if (seedSampleEntry(seeded, markers::FileNameKey, sample)) {
        // The sample as it stands, or with its video in sight where the page has no script to show it.
        const auto seededWith = [&](const std::string& entry) {
            return contains(seeded, entry) && seeded.size() == text.size() + entry.size() + 2;
        };
        check(seededWith(sample) || seededWith(sampleEntryFor("", 0, sample)));
    } else {
        check(seeded == text);
    }
    seedSampleEntry(seeded, markers::FileNameToken, sample);

    entryPresent(text, name);
    entrySourceKey(name);
    const std::string_view stem = withoutExtension(name);
    check(stem.size() <= name.size());
    if (isValidFileName(name)) {
        check(name.find('.') != std::string::npos && name.front() != '.');
    }
    check(stripBlanks(name).size() <= name.size());

    std::string replaced = text;
    replaceAll(replaced, token, value);
    replaceFirst(replaced, token, value);
    std::string marked = text;
    setContentAfterMarker(marked, markers::EntryDescriptionTail, value);
    setContentAfterMarker(marked, token, value, in.remaining_bytes() % 7);

    for (const LiveEntry& entry : liveEntries(text)) {
        check(entry.fileName.find('"') == std::string::npos && !contains(entry.fileName, markers::FileNameKey));
        shownText(entry.description);
    }

    toPageText(bytes);
    if (const auto codePage = toCodePage(bytes)) {
        check(codePage->size() <= bytes.size());
        // What a reader sees of a description is what was typed, white space aside.
        if (bytes.find_first_of(" \t\n\r\f") == std::string::npos) {
            check(shownText(toPageText(bytes)) == bytes);
        }
    }
    asciiWithReferences(bytes);
    codePageToUtf8(bytes);
    return 0;
}
