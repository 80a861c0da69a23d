# The WebAssembly build (BIBSOURCES_WEB, with emscripten): the converter for
# the page in web/. Only what turns .bib files into a source list is built:
# the in-process reader, the opening of an input as UTF-8, and the core's
# plain and tidy mappings, with the browser standing in for the libraries
# it has no build of (utf8proc, libuuid). No parser helper, no programs,
# no tests: those are the native build's.
if(NOT EMSCRIPTEN)
    message(FATAL_ERROR "BIBSOURCES_WEB needs emscripten: configure with emcmake (scripts/build-web)")
endif()

# Bulk memory (every browser since 2021): copies and fills are single
# instructions, and the page's memcpy, memmove and memset are those
# (web/module/compat/bulk_memory.c) in place of the C library's loops.
add_compile_options(-mbulk-memory)
add_link_options(-mbulk-memory)
# Optimised across files at link time, with emscripten's C++ library's own
# (string appends and the like inlined where they are called): up to a
# tenth off a conversion (bench/web-page).
add_compile_options(-flto)
add_link_options(-flto)

# What the C++ library of this emscripten (libc++ 13) lacks of C++20 and the
# converter uses: the stop token and the range algorithms.
include_directories(BEFORE SYSTEM ${PROJECT_SOURCE_DIR}/web/module/compat)

add_subdirectory(protocol)
add_subdirectory(reader/names)
add_subdirectory(client)
add_subdirectory(reader)
add_subdirectory(core)
add_subdirectory(web/module)
