// The floor of a conversion: only the btparse calls that any conversion of
// the same file has to make, with nothing of ours around them.
//
//   bibsources-bench-floor parse FILE.bib   bt_parse_entry and bt_free_ast only
//   bibsources-bench-floor full FILE.bib    plus bt_entry_type, bt_entry_key,
//                                           bt_get_text on every field and the
//                                           name splitting of author, editor
//                                           and translator fields
//
// The loop is the converter's: feof tested before each call, options 0, and
// one last call at the end of the file. It prints a checksum of what it saw so
// that the compiler cannot drop any call, and the entry counts for a glance.

#include <btparse.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

namespace {

struct Totals {
    unsigned long entries = 0;
    unsigned long skipped = 0;
    unsigned long names = 0;
    unsigned long checksum = 0;
};

bool isContributorField(std::string_view name)
{
    return name == "author" || name == "editor" || name == "translator";
}

void splitNames(char *text, Totals &totals)
{
    bt_stringlist *list
        = bt_split_list(text, const_cast<char *>("and"), nullptr, 0, const_cast<char *>("name"));
    if (!list) {
        return;
    }
    for (int i = 0; i < list->num_items; ++i) {
        if (!list->items[i]) {
            continue;
        }
        bt_name *name = bt_split_name(list->items[i], nullptr, 0, i);
        if (name) {
            totals.names += 1;
            totals.checksum += unsigned(name->part_len[BTN_LAST] + name->part_len[BTN_FIRST]);
            bt_free_name(name);
        }
    }
    bt_free_list(list);
}

void visitEntry(AST *entry, Totals &totals)
{
    const char *key = bt_entry_key(entry);
    totals.checksum += key ? std::strlen(key) : 0;
    AST *field = nullptr;
    char *name = nullptr;
    while ((field = bt_next_field(entry, field, &name))) {
        // bt_get_text hands back a string of its own making, which is ours to
        // free; keeping them all would grow the process by the input's size.
        char *text = bt_get_text(field);
        if (!text) {
            continue;
        }
        totals.checksum += std::strlen(text);
        if (name && isContributorField(name)) {
            splitNames(text, totals);
        }
        std::free(text);
    }
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 3 || (std::strcmp(argv[1], "parse") != 0 && std::strcmp(argv[1], "full") != 0)) {
        std::fprintf(stderr, "usage: %s parse|full FILE.bib\n", argv[0]);
        return 2;
    }
    const bool full = std::strcmp(argv[1], "full") == 0;
    char *path = argv[2];
    std::FILE *stream = std::fopen(path, "r");
    if (!stream) {
        std::perror(path);
        return 1;
    }

    Totals totals;
    bt_initialize();
    while (!std::feof(stream) && !std::ferror(stream)) {
        boolean status = 0;
        AST *entry = bt_parse_entry(stream, path, 0, &status);
        if (!entry) {
            continue;
        }
        if (!status) {
            totals.skipped += 1;
        } else if (full) {
            const char *type = bt_entry_type(entry);
            if (!type || std::strcmp(type, "comment") != 0) {
                totals.entries += 1;
                visitEntry(entry, totals);
            }
        } else {
            totals.entries += 1;
        }
        bt_free_ast(entry);
    }
    boolean ignored = 0;
    if (AST *last = bt_parse_entry(stream, path, 0, &ignored)) {
        bt_free_ast(last);
    }
    bt_cleanup();
    std::fclose(stream);

    std::printf("%s: %lu entries, %lu skipped, %lu names, checksum %lu\n", argv[1], totals.entries,
        totals.skipped, totals.names, totals.checksum);
    return 0;
}
