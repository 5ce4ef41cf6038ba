# The program's translations, translations/TW-CLI-UI_<language>.ts, compiled
# by Qt's lrelease (Debian: qt6-l10n-tools) and built into the library that
# loads them, with Qt's own qtbase_<language>.qm (Debian:
# qt6-translations-l10n), as resources under :/i18n. The Windows build
# takes both tools and Qt's files from the host's Qt (QT_HOST_PATH): its
# static Qt has neither. `cmake --build BUILD --target update_translations`
# takes new and changed texts of the sources into the .ts files
# (scripts/translations.sh); test_translations_complete fails while a text
# is missing or unfinished.
#
# tw_add_translations(target): included and called where `target` is made,
# so that the generated files are that folder's own.

set(TW_LANGUAGES de)

find_program(TW_LRELEASE NAMES lrelease-qt6 lrelease
  HINTS ${QT_HOST_PATH}/lib/qt6/bin ${QT_HOST_PATH}/bin /usr/lib/qt6/bin NO_CMAKE_FIND_ROOT_PATH)
find_program(TW_LUPDATE NAMES lupdate-qt6 lupdate
  HINTS ${QT_HOST_PATH}/lib/qt6/bin ${QT_HOST_PATH}/bin /usr/lib/qt6/bin NO_CMAKE_FIND_ROOT_PATH)
if(NOT TW_LRELEASE OR NOT TW_LUPDATE)
  message(FATAL_ERROR "Qt's lrelease and lupdate not found: install qt6-l10n-tools "
                      "(scripts/install-deps.sh), or set TW_LRELEASE and TW_LUPDATE")
endif()

function(tw_add_translations target)
  set(files)
  foreach(language ${TW_LANGUAGES})
    set(ts ${CMAKE_SOURCE_DIR}/translations/TW-CLI-UI_${language}.ts)
    set(qm ${CMAKE_CURRENT_BINARY_DIR}/i18n/TW-CLI-UI_${language}.qm)
    add_custom_command(OUTPUT ${qm}
      COMMAND ${TW_LRELEASE} -silent ${ts} -qm ${qm}
      DEPENDS ${ts} VERBATIM)
    list(APPEND files ${qm})

    find_file(TW_QTBASE_QM_${language} qtbase_${language}.qm
      HINTS ${QT6_INSTALL_PREFIX}/${QT6_INSTALL_TRANSLATIONS} ${QT_HOST_PATH}/share/qt6/translations
            /usr/share/qt6/translations
      NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
    if(NOT TW_QTBASE_QM_${language})
      message(FATAL_ERROR "Qt's own translation qtbase_${language}.qm not found: install "
                          "qt6-translations-l10n (scripts/install-deps.sh), or set "
                          "TW_QTBASE_QM_${language}")
    endif()
    set_source_files_properties(${TW_QTBASE_QM_${language}}
      PROPERTIES QT_RESOURCE_ALIAS qtbase_${language}.qm)
    list(APPEND files ${TW_QTBASE_QM_${language}})
  endforeach()
  qt_add_resources(${target} translations PREFIX /i18n BASE ${CMAKE_CURRENT_BINARY_DIR}/i18n
    FILES ${files})

  add_custom_target(update_translations
    COMMAND ${CMAKE_COMMAND} -E env TW_LUPDATE=${TW_LUPDATE} TW_LRELEASE=${TW_LRELEASE}
            ${CMAKE_SOURCE_DIR}/scripts/translations.sh update
    WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}
    COMMENT "lupdate: the sources' texts into translations/*.ts" VERBATIM)
endfunction()
