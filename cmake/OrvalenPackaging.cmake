# CPack packages of what the install rules lay out: a .deb and a .tar.gz on
# Linux, a .tar.gz and a .zip elsewhere. `cmake --build <dir> --target package`
# writes them into the build folder.

set(ORVALEN_PACKAGE_CONTACT "Orvalen Intro maintainers" CACHE STRING
  "The package's maintainer, as \"Name <email>\"; set it when publishing a package")

set(CPACK_PACKAGE_NAME orvalen-intro)
set(CPACK_PACKAGE_VENDOR "Orvalen")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Data-driven intro slideshow over a looping song")
# Lines kept short, as Debian's package tools show them unwrapped
set(CPACK_PACKAGE_DESCRIPTION
  "Orvalen Intro opens a full-HD window and plays a slideshow of pictures
over a looping song, all read from JSON catalogues in its working folder.
The package brings a demo intro to play.")
set(CPACK_PACKAGE_CONTACT "${ORVALEN_PACKAGE_CONTACT}")
set(CPACK_PACKAGE_INSTALL_DIRECTORY orvalen-intro)
set(CPACK_RESOURCE_FILE_README ${PROJECT_SOURCE_DIR}/README.md)
set(CPACK_STRIP_FILES ON)

if(CMAKE_SYSTEM_NAME STREQUAL "Linux")
  set(CPACK_GENERATOR DEB TGZ)
elseif(WIN32)
  set(CPACK_GENERATOR TGZ ZIP)
else()
  set(CPACK_GENERATOR TGZ)
endif()

# Debian: the usual file name, the dependencies read from what the program
# links (dpkg-shlibdeps, from dpkg-dev), and a section for games
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION games)
find_program(ORVALEN_DPKG_SHLIBDEPS dpkg-shlibdeps DOC "Debian's tool that lists the libraries a program needs")
if(ORVALEN_DPKG_SHLIBDEPS)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
elseif("DEB" IN_LIST CPACK_GENERATOR)
  message(STATUS "dpkg-shlibdeps not found: the .deb will list no dependencies (apt-get install dpkg-dev)")
endif()

# Two Debian packages: the program with its demo, and orvalen-intro-dev with
# the library, its header and its CMake package for games. The archives hold both
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL program dev)
set(CPACK_DEBIAN_PROGRAM_PACKAGE_NAME orvalen-intro)
set(CPACK_DEBIAN_PROGRAM_DESCRIPTION "${CPACK_PACKAGE_DESCRIPTION_SUMMARY}\n${CPACK_PACKAGE_DESCRIPTION}")
set(CPACK_DEBIAN_DEV_PACKAGE_NAME orvalen-intro-dev)
set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEV_PACKAGE_DEPENDS "libsfml-dev (>= 2.5)")
set(CPACK_DEBIAN_DEV_DESCRIPTION "Orvalen Intro as a library for games
A game plays an intro of pictures over a looping song in its own window,
skippable with Escape or a gamepad, then goes on to its menu. The package
holds the library, its header and the CMake package behind
find_package(OrvalenIntro).")

# `--target package_source`: the repository's files without builds or local demos
set(CPACK_SOURCE_GENERATOR TGZ)
set(CPACK_SOURCE_PACKAGE_FILE_NAME orvalen-intro-${PROJECT_VERSION}-source)
set(CPACK_SOURCE_IGNORE_FILES "/\\\\.git/" "/build/" "/build-[^/]*/" "/demo/" "/tmp/")

include(CPack)
