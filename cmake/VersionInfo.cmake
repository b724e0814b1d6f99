# Version resource of our executables.
#
# At build time the tool mkversioninfo writes a Windows VS_VERSIONINFO block
# made from the project version (PROJECT_VERSION_MAJOR.MINOR.PATCH.TWEAK) as
# an ELF note (owner "MIXDECK", section .note.mixdeck.version). The note is
# assembled once into an object library; mixdeck_version_note(target) links
# it into an executable.
include_guard(GLOBAL)
enable_language(ASM)

# When cross-compiling, point MIXDECK_MKVERSIONINFO at a mkversioninfo built
# for the build machine.
set(MIXDECK_MKVERSIONINFO "" CACHE FILEPATH "mkversioninfo built for the build machine (cross builds)")
if(MIXDECK_MKVERSIONINFO)
  set(_mixdeck_mkversioninfo ${MIXDECK_MKVERSIONINFO})
else()
  add_executable(mkversioninfo ${PROJECT_SOURCE_DIR}/cmake/mkversioninfo.cpp)
  set_target_properties(mkversioninfo PROPERTIES AUTOMOC OFF AUTOUIC OFF AUTORCC OFF)
  set(_mixdeck_mkversioninfo mkversioninfo)
endif()

function(_mixdeck_version_number out value)
  if("${value}" STREQUAL "")
    set(${out} 0 PARENT_SCOPE)
  else()
    set(${out} ${value} PARENT_SCOPE)
  endif()
endfunction()
_mixdeck_version_number(_v1 "${PROJECT_VERSION_MAJOR}")
_mixdeck_version_number(_v2 "${PROJECT_VERSION_MINOR}")
_mixdeck_version_number(_v3 "${PROJECT_VERSION_PATCH}")
_mixdeck_version_number(_v4 "${PROJECT_VERSION_TWEAK}")
set(MIXDECK_VERSION_FOUR "${_v1}.${_v2}.${_v3}.${_v4}")

# Written only when it changes, so the note is regenerated exactly when the
# version or the texts change.
set(_mixdeck_verinput ${PROJECT_BINARY_DIR}/generated/versioninfo.txt)
set(_mixdeck_verflags 0)
if(CMAKE_BUILD_TYPE STREQUAL "Debug")
  set(_mixdeck_verflags 1) # debug build
endif()
file(CONFIGURE OUTPUT ${_mixdeck_verinput} CONTENT
"Version=${MIXDECK_VERSION_FOUR}
FileFlags=${_mixdeck_verflags}
CompanyName=MIXDECK developers
FileDescription=MIXDECK - tape compilations from audio CDs
FileVersion=${MIXDECK_VERSION_FOUR}
InternalName=mixdeck
LegalCopyright=Copyright (C) MIXDECK developers
OriginalFileName=mixdeck
ProductName=MIXDECK
ProductVersion=${MIXDECK_VERSION_FOUR}
")

set(_mixdeck_vernote ${PROJECT_BINARY_DIR}/generated/mixdeck_version_note.S)
add_custom_command(
  OUTPUT ${_mixdeck_vernote}
  COMMAND ${_mixdeck_mkversioninfo} ${_mixdeck_verinput} ${_mixdeck_vernote}
  DEPENDS ${_mixdeck_mkversioninfo} ${_mixdeck_verinput}
  COMMENT "Generating the version resource ${MIXDECK_VERSION_FOUR}"
  VERBATIM)
add_library(mixdeck_version_note OBJECT ${_mixdeck_vernote})
set_target_properties(mixdeck_version_note PROPERTIES AUTOMOC OFF AUTOUIC OFF AUTORCC OFF)

# Puts the version note into the executable target.
function(mixdeck_version_note target)
  target_sources(${target} PRIVATE $<TARGET_OBJECTS:mixdeck_version_note>)
  add_dependencies(${target} mixdeck_version_note)
endfunction()
