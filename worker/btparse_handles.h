#pragma once

// Ownership of everything btparse hands out. Only the btparse reader includes
// this header; nothing else in the program sees a btparse type.

#include <btparse.h>

#include <cstdio>
#include <cstdlib>
#include <memory>

namespace bibsources {

struct AstFree {
    void operator()(AST *p) const { bt_free_ast(p); }
};
struct ListFree {
    void operator()(bt_stringlist *p) const { bt_free_list(p); }
};
struct NameFree {
    void operator()(bt_name *p) const { bt_free_name(p); }
};
struct TextFree {
    void operator()(char *p) const { std::free(p); }
};
struct FileClose {
    void operator()(FILE *p) const { std::fclose(p); }
};

using EntryPtr = std::unique_ptr<AST, AstFree>;
using ListPtr = std::unique_ptr<bt_stringlist, ListFree>;
using NamePtr = std::unique_ptr<bt_name, NameFree>;
using TextPtr = std::unique_ptr<char, TextFree>; // what bt_get_text returns
using FilePtr = std::unique_ptr<FILE, FileClose>;

// bt_initialize() on entry, bt_cleanup() on every way out.
class ParserSession {
public:
    ParserSession() { bt_initialize(); }
    ~ParserSession() { bt_cleanup(); }
    ParserSession(const ParserSession &) = delete;
    ParserSession &operator=(const ParserSession &) = delete;
};

} // namespace bibsources
