# Finds the btparse C library (Debian: libbtparse-dev) and defines the
# imported target Btparse::Btparse.
find_path(Btparse_INCLUDE_DIR NAMES btparse.h)
find_library(Btparse_LIBRARY NAMES btparse)

include(FindPackageHandleStandardArgs)
find_package_handle_standard_args(Btparse
    REQUIRED_VARS Btparse_LIBRARY Btparse_INCLUDE_DIR
    REASON_FAILURE_MESSAGE "install it with: apt-get install libbtparse-dev")

if(Btparse_FOUND AND NOT TARGET Btparse::Btparse)
    add_library(Btparse::Btparse UNKNOWN IMPORTED)
    set_target_properties(Btparse::Btparse PROPERTIES
        IMPORTED_LOCATION "${Btparse_LIBRARY}"
        INTERFACE_INCLUDE_DIRECTORIES "${Btparse_INCLUDE_DIR}")
endif()
mark_as_advanced(Btparse_INCLUDE_DIR Btparse_LIBRARY)
