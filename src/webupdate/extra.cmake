# Transfers over HTTP and FTP with libcurl; SZDD and cabinet expansion with
# libmspack.
pkg_check_modules(MIXDECK_CURL REQUIRED IMPORTED_TARGET libcurl)
pkg_check_modules(MIXDECK_MSPACK REQUIRED IMPORTED_TARGET libmspack)
target_link_libraries(mixdeck_webupdate PUBLIC PkgConfig::MIXDECK_CURL PkgConfig::MIXDECK_MSPACK)
