# Language packs beside the program: "VORNEXclient Language Packs/<code>/"
# with "Strings" (our catalogs and Qt's own) and "Docs" (the help).
#
# Catalogs: Common_<code> names the pack and holds the platform texts,
# GuiCommon_<code> the widget library's, Client_<code> the client's.
# Refresh the .ts sources from the code with
#   cmake --build <build> --target vornex_update_translations
# then translate what lupdate marked unfinished (English too: plural forms
# of "%n" texts). The language-pack test lists the texts a catalog lacks.

set(VORNEX_PACK_CODES en de)
set(VORNEX_PACKS_DIR "${VORNEX_BIN_DIR}/VORNEXclient Language Packs")
set(VORNEX_TS_DIR ${PROJECT_SOURCE_DIR}/resources/translations)
set(VORNEX_HELP_DIR ${PROJECT_SOURCE_DIR}/resources/help)

if(DEFINED QT6_INSTALL_PREFIX AND DEFINED QT6_INSTALL_TRANSLATIONS)
    set(VORNEX_QT_CATALOGS_DIR "${QT6_INSTALL_PREFIX}/${QT6_INSTALL_TRANSLATIONS}")
else()
    set(VORNEX_QT_CATALOGS_DIR /usr/share/qt6/translations)
endif()

set(vornex_ts_files)
set(vornex_pack_outputs)
foreach(code IN LISTS VORNEX_PACK_CODES)
    set(strings "${VORNEX_PACKS_DIR}/${code}/Strings")
    set(docs "${VORNEX_PACKS_DIR}/${code}/Docs")
    foreach(catalog Common GuiCommon Client)
        set(ts ${VORNEX_TS_DIR}/${catalog}_${code}.ts)
        set_source_files_properties(${ts} PROPERTIES OUTPUT_LOCATION "${strings}")
        list(APPEND vornex_ts_files ${ts})
    endforeach()
    # Qt's catalog "qt_<code>" only forwards to the module catalogs, which
    # must lie beside it.
    foreach(catalog qt qtbase qtmultimedia)
        set(source "${VORNEX_QT_CATALOGS_DIR}/${catalog}_${code}.qm")
        if(EXISTS "${source}")
            add_custom_command(OUTPUT "${strings}/${catalog}_${code}.qm"
                COMMAND ${CMAKE_COMMAND} -E make_directory "${strings}"
                COMMAND ${CMAKE_COMMAND} -E copy_if_different "${source}" "${strings}/${catalog}_${code}.qm"
                DEPENDS "${source}" VERBATIM)
            list(APPEND vornex_pack_outputs "${strings}/${catalog}_${code}.qm")
        elseif(catalog STREQUAL "qtbase")
            message(WARNING "Qt's catalogs for '${code}' are missing (package qt6-translations-l10n)")
        endif()
    endforeach()
    add_custom_command(OUTPUT "${docs}/vornex_help.htm"
        COMMAND ${CMAKE_COMMAND} -E make_directory "${docs}"
        COMMAND ${CMAKE_COMMAND} -E copy_if_different "${VORNEX_HELP_DIR}/${code}/vornex_help.htm" "${docs}/vornex_help.htm"
        DEPENDS "${VORNEX_HELP_DIR}/${code}/vornex_help.htm" VERBATIM)
    list(APPEND vornex_pack_outputs "${docs}/vornex_help.htm")
endforeach()

qt_add_lrelease(VORNEXclient TS_FILES ${vornex_ts_files} NO_GLOBAL_TARGET)
add_custom_target(vornex_language_packs ALL DEPENDS ${vornex_pack_outputs})
add_dependencies(VORNEXclient vornex_language_packs)

# Not part of the build: rewrites the .ts sources from the code.
set(vornex_common_sources ${PROJECT_SOURCE_DIR}/platform ${PROJECT_SOURCE_DIR}/client/app/LanguageSupport.cpp)
set(vornex_gui_sources ${PROJECT_SOURCE_DIR}/widgets)
# The server access layer's texts (connection states, step names) show in
# the client's pages, so they travel in the client's catalog.
file(GLOB_RECURSE vornex_client_sources ${PROJECT_SOURCE_DIR}/client/*.cpp ${PROJECT_SOURCE_DIR}/client/*.h
     ${PROJECT_SOURCE_DIR}/server/*.cpp ${PROJECT_SOURCE_DIR}/server/*.h)
list(REMOVE_ITEM vornex_client_sources ${PROJECT_SOURCE_DIR}/client/app/LanguageSupport.cpp)
# The same source lists for the language-pack test, which extracts the
# texts into copies of the catalogs and finds those missing.
foreach(group common:Common gui:GuiCommon client:Client)
    string(REPLACE ":" ";" parts ${group})
    list(GET parts 0 kind)
    list(GET parts 1 catalog)
    string(REPLACE ";" "\n" listed "${vornex_${kind}_sources}")
    file(WRITE "${PROJECT_BINARY_DIR}/translations/${catalog}.lst" "${listed}\n")
endforeach()

set(vornex_update_commands)
foreach(code IN LISTS VORNEX_PACK_CODES)
    foreach(group common:Common gui:GuiCommon client:Client)
        string(REPLACE ":" ";" parts ${group})
        list(GET parts 0 kind)
        list(GET parts 1 catalog)
        list(APPEND vornex_update_commands
            COMMAND Qt6::lupdate -no-obsolete -locations none -source-language en -target-language ${code}
                    ${vornex_${kind}_sources} -ts ${VORNEX_TS_DIR}/${catalog}_${code}.ts)
    endforeach()
endforeach()
add_custom_target(vornex_update_translations ${vornex_update_commands} VERBATIM)
