// The in-process reader alone on one file, to set beside btparse's floor
// (floor.cpp) in the same run, doing what the floor of the same name does:
//
//   bibsources-bench-reader parse FILE.bib   every field's text: macros
//                                            expanded, pasted, spaces collapsed
//   bibsources-bench-reader full FILE.bib    the same, and author, editor and
//                                            translator split into names
//   bibsources-bench-reader tidy FILE.bib    what a --tidy conversion asks for:
//                                            the fields its mapping reads, its
//                                            contributor fields split
//
// btparse's bt_parse_entry expands, pastes and collapses every field of every
// entry, so the reader is told to keep every field the generated files hold.
// It reads the file in slices of 1 MiB, so memory shows whether the reader
// holds only the entry at hand. It prints the counts and a checksum of what
// it saw, so that nothing can be optimised away.

#include "bibsources/bib_reader.h"
#include "field_table.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <optional>
#include <string_view>
#include <vector>

namespace {

// Every field generate_bib.cpp writes.
constexpr std::array<std::string_view, 22> generatedFields{"abstract", "address", "author", "booktitle",
    "doi", "edition", "editor", "institution", "journal", "keywords", "lastchecked", "month", "note",
    "number", "pages", "publisher", "school", "title", "translator", "url", "volume", "year"};

bibsources::FieldSelection everyField(bool splitNames)
{
    bibsources::FieldSelection selection;
    selection.kept.assign(generatedFields.begin(), generatedFields.end());
    if (splitNames) {
        selection.names = {"author", "editor", "translator"};
    }
    return selection;
}

std::optional<bibsources::FieldSelection> selectionFor(std::string_view mode)
{
    if (mode == "parse" || mode == "full") {
        return everyField(mode == "full");
    }
    if (mode == "tidy") {
        return bibsources::helperFields(bibsources::FieldsFor::TidyMapping);
    }
    return std::nullopt;
}

} // namespace

int main(int argc, char **argv)
{
    const std::optional<bibsources::FieldSelection> fields = argc == 3 ? selectionFor(argv[1]) : std::nullopt;
    if (!fields) {
        std::fprintf(stderr, "usage: bibsources-bench-reader parse|full|tidy FILE.bib\n");
        return 2;
    }
    std::FILE *file = std::fopen(argv[2], "rb");
    if (!file) {
        std::perror(argv[2]);
        return 1;
    }
    std::vector<char> buffer(1 << 20);
    const bibsources::BibSlices slices = [&] {
        const std::size_t got = std::fread(buffer.data(), 1, buffer.size(), file);
        return std::string_view(buffer.data(), got);
    };
    bibsources::BibReadSettings settings;
    settings.name = argv[2];
    settings.fields = *fields;
    unsigned long entries = 0, fieldCount = 0, names = 0, checksum = 0;
    const bibsources::ReadReport report
        = bibsources::readBib(slices, 0, settings, [&](bibsources::Entry &&entry) {
              ++entries;
              checksum += entry.key.size();
              for (const bibsources::Field &field : entry.fields) {
                  ++fieldCount;
                  checksum += field.text.size();
                  names += field.names ? field.names->size() : 0;
              }
          });
    std::fclose(file);
    std::printf("%s: entries=%lu skipped=%d fields=%lu names=%lu messages=%zu checksum=%lu\n", argv[1],
        entries, report.entriesSkipped, fieldCount, names, report.messages.size(), checksum);
    return report.ok() ? 0 : 1;
}
