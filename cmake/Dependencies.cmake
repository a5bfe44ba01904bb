# Finds every library and tool the build needs; a missing one stops the configure step with the
# Debian package that provides it, which scripts/bootstrap installs.

find_package(PkgConfig QUIET)
if(NOT PkgConfig_FOUND)
  message(FATAL_ERROR "pkg-config not found: install the Debian package 'pkg-config' (scripts/bootstrap)")
endif()

function(parvane_require_pkg target module package)
  pkg_check_modules(${target} QUIET IMPORTED_TARGET GLOBAL ${module})
  if(NOT ${target}_FOUND)
    message(FATAL_ERROR "${module} not found: install the Debian package '${package}' (scripts/bootstrap)")
  endif()
endfunction()

parvane_require_pkg(VTERM vterm libvterm-dev)
parvane_require_pkg(CURL libcurl libcurl4-openssl-dev)
parvane_require_pkg(UCHARDET uchardet libuchardet-dev)
parvane_require_pkg(AVFORMAT libavformat libavformat-dev)
parvane_require_pkg(AVCODEC libavcodec libavcodec-dev)
parvane_require_pkg(AVUTIL libavutil libavutil-dev)
parvane_require_pkg(SWRESAMPLE libswresample libswresample-dev)
parvane_require_pkg(TAGLIB taglib libtag1-dev)

find_package(Qt6 QUIET COMPONENTS Core Gui Widgets Test)
if(NOT Qt6_FOUND)
  message(FATAL_ERROR "Qt 6 (Core, Gui, Widgets, Test) not found: install the Debian package 'qt6-base-dev' (scripts/bootstrap)")
endif()

find_package(GTest QUIET)
if(NOT GTest_FOUND)
  message(FATAL_ERROR "GoogleTest not found: install the Debian packages 'googletest libgtest-dev libgmock-dev' (scripts/bootstrap)")
endif()

function(parvane_require_program var name package)
  find_program(${var} ${name} PATHS /usr/bin /bin NO_DEFAULT_PATH)
  if(NOT ${var})
    message(FATAL_ERROR "${name} not found: install the Debian package '${package}' (scripts/bootstrap)")
  endif()
endfunction()

parvane_require_program(PARVANE_FLAC flac flac)
parvane_require_program(PARVANE_METAFLAC metaflac flac)
parvane_require_program(PARVANE_LAME lame lame)
parvane_require_program(PARVANE_SLEEP sleep coreutils)
parvane_require_program(PARVANE_FFPROBE ffprobe ffmpeg)
parvane_require_program(PARVANE_FFMPEG ffmpeg ffmpeg)
