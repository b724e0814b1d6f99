# Transfers over HTTP and FTP with libcurl; SZDD and cabinet expansion with
# libmspack.
pkg_check_modules(MIXDECK_CURL REQUIRED IMPORTED_TARGET libcurl)
pkg_check_modules(MIXDECK_MSPACK REQUIRED IMPORTED_TARGET libmspack)
target_link_libraries(mixdeck_webupdate PUBLIC PkgConfig::MIXDECK_CURL PkgConfig::MIXDECK_MSPACK)

# The address of the update control file built into the program; whoever
# installs the program may set it here or in the settings file instead.
set(MIXDECK_UPDATE_URL "" CACHE STRING
    "Address of the web update's control file built into the program (https; empty: none)")
if(NOT MIXDECK_UPDATE_URL STREQUAL "")
  if(NOT MIXDECK_UPDATE_URL MATCHES "^https://[^\"\\]+$")
    message(FATAL_ERROR "MIXDECK_UPDATE_URL must be an https address")
  endif()
  set_property(SOURCE ${PROJECT_SOURCE_DIR}/src/webupdate/Update.cpp APPEND PROPERTY
               COMPILE_DEFINITIONS "MIXDECK_UPDATE_URL=\"${MIXDECK_UPDATE_URL}\"")
endif()

# The updater the program carries: a small program of its own, packed as
# SZDD at build time and built into the library as bytes.
# Only units without Qt: the updater stays a small plain program.
add_executable(mixdeck_updater
  ${PROJECT_SOURCE_DIR}/src/webupdate/updater/Updater.cpp
  ${PROJECT_SOURCE_DIR}/src/webupdate/WuProcess.cpp
  ${PROJECT_SOURCE_DIR}/src/webupdate/WuPaths.cpp
  ${PROJECT_SOURCE_DIR}/src/webupdate/WuResult.cpp
  ${PROJECT_SOURCE_DIR}/src/platform/OwnedTemp.cpp
  ${PROJECT_SOURCE_DIR}/src/webupdate/LzExpand.cpp
  ${PROJECT_SOURCE_DIR}/src/webupdate/Cabfdi.cpp
  ${PROJECT_SOURCE_DIR}/src/webupdate/MsPackSystem.cpp
  ${PROJECT_SOURCE_DIR}/src/platform/FileIO.cpp)
target_include_directories(mixdeck_updater PRIVATE ${PROJECT_SOURCE_DIR}/src)
target_link_libraries(mixdeck_updater PRIVATE PkgConfig::MIXDECK_MSPACK Threads::Threads)
if(MIXDECK_SANITIZE STREQUAL "")
  target_link_options(mixdeck_updater PRIVATE -s)
endif()
add_executable(mixdeck_szddembed ${PROJECT_SOURCE_DIR}/src/webupdate/updater/SzddEmbed.cpp)
set(_wu_image ${CMAKE_CURRENT_BINARY_DIR}/generated/WuUpdaterImage.cpp)
add_custom_command(OUTPUT ${_wu_image}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_CURRENT_BINARY_DIR}/generated
  COMMAND mixdeck_szddembed $<TARGET_FILE:mixdeck_updater> ${_wu_image} WuUpdaterImage e
  DEPENDS mixdeck_updater mixdeck_szddembed
  COMMENT "Packing the updater")
target_sources(mixdeck_webupdate PRIVATE ${_wu_image})
