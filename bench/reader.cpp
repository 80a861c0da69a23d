// The in-process reader alone on one file, to set beside btparse's parse
// floor (floor.cpp) in the same run:
//
//   bibsources-bench-reader FILE.bib
//
// It reads the file in slices of 1 MiB, so memory shows whether the reader
// holds only the entry at hand, and hands the reader the fields the tidy
// mapping asks for, the contributor fields split into names. It prints the
// counts and a checksum of what it saw, so that nothing can be optimised away.

#include "bibsources/bib_reader.h"
#include "fields/field_table.h"

#include <cstdio>
#include <vector>

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: bibsources-bench-reader FILE.bib\n");
        return 2;
    }
    std::FILE *file = std::fopen(argv[1], "rb");
    if (!file) {
        std::perror(argv[1]);
        return 1;
    }
    std::vector<char> buffer(1 << 20);
    const bibsources::BibSlices slices = [&] {
        const std::size_t got = std::fread(buffer.data(), 1, buffer.size(), file);
        return std::string_view(buffer.data(), got);
    };
    bibsources::BibReadSettings settings;
    settings.name = argv[1];
    settings.fields = bibsources::helperFields(bibsources::FieldsFor::TidyMapping);
    unsigned long entries = 0, fields = 0, names = 0, checksum = 0;
    const bibsources::BibReadReport report
        = bibsources::readBib(slices, 0, settings, [&](bibsources::Entry &&entry) {
              ++entries;
              checksum += entry.key.size();
              for (const bibsources::Field &field : entry.fields) {
                  ++fields;
                  checksum += field.text.size();
                  names += field.names ? field.names->size() : 0;
              }
          });
    std::fclose(file);
    std::printf("entries=%lu skipped=%d fields=%lu names=%lu messages=%zu checksum=%lu\n", entries,
        report.entriesSkipped, fields, names, report.messages.size(), checksum);
    return report.ok() ? 0 : 1;
}
