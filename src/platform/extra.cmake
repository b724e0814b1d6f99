# The office file writers and reader of the automation servers.
pkg_check_modules(MIXDECK_LIBZIP REQUIRED IMPORTED_TARGET libzip)
pkg_check_modules(MIXDECK_XLSXWRITER REQUIRED IMPORTED_TARGET xlsxwriter)
target_link_libraries(mixdeck_platform PUBLIC PkgConfig::MIXDECK_LIBZIP PkgConfig::MIXDECK_XLSXWRITER)
