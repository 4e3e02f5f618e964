# A release: the driver, the programs beside it, a README for the platform and
# the license, all in one folder. scripts/package.sh builds a tree of each
# platform and lets CPack pack it: a ZIP for Windows, a tar.gz for Linux. The
# binaries are installed stripped; the build tree keeps them with their debug
# information.

set(LUMIVANE_RELEASE_PROGRAMS lumivane-host)
# The live view (view/) ships beside the host once it is part of the build;
# include this file after add_subdirectory(view).
if(TARGET lumivane-view)
  list(APPEND LUMIVANE_RELEASE_PROGRAMS lumivane-view)
endif()

# Everything else (test libraries brought in by the tests, say) stays out of
# the release by having no part in this component.
set(LUMIVANE_RELEASE_COMPONENT release)
install(TARGETS lumivane LIBRARY DESTINATION . COMPONENT ${LUMIVANE_RELEASE_COMPONENT})
install(TARGETS ${LUMIVANE_RELEASE_PROGRAMS} RUNTIME DESTINATION .
        COMPONENT ${LUMIVANE_RELEASE_COMPONENT})

# The view's character ROMs, its page's QR and GIF encoders and its screen
# keeper come from npm packages under the MIT License: their notices ship
# beside the programs.
# (stb_image_write, which writes the view's pictures, is in the public domain.)
if(TARGET lumivane-view)
  set(wokwi ${PROJECT_SOURCE_DIR}/view/rom/node_modules/@wokwi/elements)
  file(READ ${wokwi}/package.json wokwi_package)
  string(JSON wokwi_version GET "${wokwi_package}" version)
  file(READ ${wokwi}/LICENSE wokwi_license)
  # qrcode-generator ships no LICENSE file: its script's header names the
  # holder and the MIT License, whose terms are the ones above.
  set(qrcode ${PROJECT_SOURCE_DIR}/view/rom/node_modules/qrcode-generator)
  file(READ ${qrcode}/package.json qrcode_package)
  string(JSON qrcode_version GET "${qrcode_package}" version)
  string(JSON qrcode_license GET "${qrcode_package}" license)
  file(STRINGS ${qrcode}/dist/qrcode.js qrcode_copyright REGEX "^// Copyright \\(c\\) " LIMIT_COUNT 1)
  string(REGEX REPLACE "^// " "" qrcode_copyright "${qrcode_copyright}")
  if(NOT qrcode_license STREQUAL "MIT" OR NOT qrcode_copyright)
    message(FATAL_ERROR "qrcode-generator ${qrcode_version}: no MIT notice found")
  endif()
  string(REGEX REPLACE "Copyright \\(c\\) [^\n]*" "${qrcode_copyright}" qrcode_notice
                       "${wokwi_license}")
  set(gifenc ${PROJECT_SOURCE_DIR}/view/rom/node_modules/gifenc)
  file(READ ${gifenc}/package.json gifenc_package)
  string(JSON gifenc_version GET "${gifenc_package}" version)
  file(READ ${gifenc}/LICENSE.md gifenc_license)
  set(nosleep ${PROJECT_SOURCE_DIR}/view/rom/node_modules/nosleep.js)
  file(READ ${nosleep}/package.json nosleep_package)
  string(JSON nosleep_version GET "${nosleep_package}" version)
  file(READ ${nosleep}/LICENSE nosleep_license)
  file(WRITE ${PROJECT_BINARY_DIR}/release-texts/THIRD-PARTY-NOTICES.in
       "Third-party notices\n===================\n\n"
       "lumivane-view draws the HD44780 character ROMs A00 and A02 from the glyph tables of\n"
       "the npm package @wokwi/elements ${wokwi_version}, used under the MIT License:\n\n"
       "${wokwi_license}\n"
       "The view's page draws the QR code of its address with the npm package\n"
       "qrcode-generator ${qrcode_version}, used under the MIT License:\n\n"
       "${qrcode_notice}\n"
       "The view's page makes its clips with the GIF encoder of the npm package\n"
       "gifenc ${gifenc_version}, used under the MIT License:\n\n"
       "${gifenc_license}\n"
       "The view's page keeps a phone's screen awake over plain HTTP with the npm package\n"
       "nosleep.js ${nosleep_version}, used under the MIT License:\n\n"
       "${nosleep_license}")
  if(WIN32)
    set(LUMIVANE_RELEASE_NOTICES ${PROJECT_BINARY_DIR}/release-texts/THIRD-PARTY-NOTICES.txt)
    set(notices_newlines CRLF)
  else()
    set(LUMIVANE_RELEASE_NOTICES ${PROJECT_BINARY_DIR}/release-texts/THIRD-PARTY-NOTICES)
    set(notices_newlines UNIX)
  endif()
  configure_file(${PROJECT_BINARY_DIR}/release-texts/THIRD-PARTY-NOTICES.in
                 ${LUMIVANE_RELEASE_NOTICES} @ONLY NEWLINE_STYLE ${notices_newlines})
  install(FILES ${LUMIVANE_RELEASE_NOTICES} DESTINATION . COMPONENT ${LUMIVANE_RELEASE_COMPONENT})
endif()

if(WIN32)
  # A Windows user's texts: CR LF, the names Notepad opens. README.txt is
  # README.md as plain text (scripts/readme-text.py), made as the release is
  # packed.
  set(LUMIVANE_RELEASE_TEXTS ${PROJECT_BINARY_DIR}/release-texts)
  configure_file(${PROJECT_SOURCE_DIR}/LICENSE ${LUMIVANE_RELEASE_TEXTS}/LICENSE.txt @ONLY
                 NEWLINE_STYLE CRLF)
  install(FILES ${LUMIVANE_RELEASE_TEXTS}/LICENSE.txt
          DESTINATION . COMPONENT ${LUMIVANE_RELEASE_COMPONENT})
  find_program(LUMIVANE_PYTHON python3 NO_CMAKE_FIND_ROOT_PATH)
  install(CODE "execute_process(COMMAND \"${LUMIVANE_PYTHON}\"
      \"${PROJECT_SOURCE_DIR}/scripts/readme-text.py\" \"${PROJECT_SOURCE_DIR}/README.md\"
      \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/README.txt\" \"Lumivane ${Lumivane_VERSION} for Windows\"
      COMMAND_ERROR_IS_FATAL ANY)" COMPONENT ${LUMIVANE_RELEASE_COMPONENT})
  set(CPACK_GENERATOR ZIP)
  set(LUMIVANE_RELEASE_PLATFORM win32)
  # Explorer's "Extract All" makes the folder: the files sit at the top.
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
else()
  install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/LICENSE
          DESTINATION . COMPONENT ${LUMIVANE_RELEASE_COMPONENT})
  set(CPACK_GENERATOR TGZ)
  string(TOLOWER "linux-${CMAKE_SYSTEM_PROCESSOR}" LUMIVANE_RELEASE_PLATFORM)
  # One top folder, named as the archive.
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
endif()

set(CPACK_PACKAGE_NAME lumivane)
set(CPACK_PACKAGE_VENDOR "Lumivane developers")
set(CPACK_PACKAGE_VERSION ${Lumivane_VERSION})
set(CPACK_PACKAGE_FILE_NAME lumivane-${Lumivane_VERSION}-${LUMIVANE_RELEASE_PLATFORM})
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_INSTALL_CMAKE_PROJECTS
    "${PROJECT_BINARY_DIR};${PROJECT_NAME};${LUMIVANE_RELEASE_COMPONENT};/")
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/package)
include(CPack)
