# Installs the build tree into a fresh prefix, as `cmake --install build --prefix DIR` does, and
# checks that the installed program finds its data there, that every file stays below the
# prefix, and that the desktop files are accepted by the desktop's own tools.
#   cmake -DBINARY_DIR=<build tree> -DWORK_DIR=<scratch folder, emptied first> -P install_test.cmake

file(REMOVE_RECURSE "${WORK_DIR}")
set(prefix "${WORK_DIR}/prefix")
execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BINARY_DIR}" --prefix "${prefix}"
                RESULT_VARIABLE code OUTPUT_VARIABLE log ERROR_VARIABLE log)
if(NOT code EQUAL 0)
  message(FATAL_ERROR "cmake --install failed:\n${log}")
endif()

# Nothing goes outside the prefix: neither the install rules nor the cache refresh.
file(STRINGS "${BINARY_DIR}/install_manifest.txt" installed)
foreach(file IN LISTS installed)
  string(FIND "${file}" "${prefix}/" at)
  if(NOT at EQUAL 0)
    message(FATAL_ERROR "installed outside the prefix: ${file}")
  endif()
endforeach()

set(expected
  bin/qtvn2
  share/qtvn2/qvdata/templates.txt
  share/qtvn2/qvdata/toc_list.htm
  share/qtvn2/qvdata/toc_nav.htm
  share/qtvn2/help.html
  share/qtvn2/help/7.html
  share/qtvn2/support.html
  share/qtvn2/license.txt
  share/applications/org.example.tocvane.Qtvn2.desktop
  share/metainfo/org.example.tocvane.Qtvn2.metainfo.xml
  share/icons/hicolor/scalable/apps/org.example.tocvane.Qtvn2.svg
  share/mime/packages/org.example.tocvane.Qtvn2.xml
  share/man/man1/qtvn2.1.gz
  share/bash-completion/completions/qtvn2
  share/doc/tocvane/examples/manual/manual.toc
  share/doc/tocvane/examples/manual-html5/manual-html5.toc
)
foreach(file IN LISTS expected)
  if(NOT EXISTS "${prefix}/${file}")
    message(FATAL_ERROR "not installed: ${file}")
  endif()
endforeach()
if(NOT EXISTS "${prefix}/libexec/qtvn2/qtvn2_window")
  message(FATAL_ERROR "not installed: the window program libexec/qtvn2/qtvn2_window")
endif()
# The installed program finds its window program: it keeps running, showing the window.
execute_process(COMMAND "${CMAKE_COMMAND}" -E env QT_QPA_PLATFORM=offscreen
                        "XDG_CONFIG_HOME=${WORK_DIR}/config" "${prefix}/bin/qtvn2"
                TIMEOUT 3 RESULT_VARIABLE code OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(err MATCHES "Can't load the window")
  message(FATAL_ERROR "the installed program can't load its window:\n${err}")
endif()
# With no data beside it, the program takes <prefix>/share/qtvn2/ as its directory.
if(EXISTS "${prefix}/bin/qvdata")
  message(FATAL_ERROR "data installed beside the program: ${prefix}/bin/qvdata")
endif()

# The installed program builds a project with an installed template, from a foreign folder.
set(site "${WORK_DIR}/site")
file(WRITE "${site}/page.html"
     "<html><head><title>P</title></head><body>\r\n<h1>One</h1>\r\n<h2>Two</h2>\r\n</body></html>\r\n")
file(WRITE "${site}/p.toc"
     "<is_single>1</is_single>\r\n<is_dest_as_source>1</is_dest_as_source>\r\n"
     "<source>${site}/page.html</source>\r\n<range_from>1</range_from>\r\n<range_to>6</range_to>\r\n"
     "<template_file>${prefix}/share/qtvn2/qvdata/toc_list.htm</template_file>\r\n")
# through a file read as hex: execute_process and a text read would both drop the report's CRs
execute_process(COMMAND "${prefix}/bin/qtvn2" -command "${site}/p.toc"
                WORKING_DIRECTORY "${WORK_DIR}"
                RESULT_VARIABLE code OUTPUT_FILE "${WORK_DIR}/report.txt" ERROR_VARIABLE err)
file(READ "${WORK_DIR}/report.txt" report HEX)
string(HEX "Tocvane 2.0\r\nBuild is complete.\r\n" expected)
if(NOT code EQUAL 0 OR NOT report STREQUAL expected)
  file(READ "${WORK_DIR}/report.txt" out)
  message(FATAL_ERROR "installed qtvn2 -command: exit ${code}, output [${out}] [${err}]")
endif()
file(READ "${site}/page.html" page)
string(FIND "${page}" "<div class=\"toc\">" at)
if(at LESS 0)
  message(FATAL_ERROR "the installed template is missing from the result:\n${page}")
endif()

find_program(desktop_file_validate desktop-file-validate)
if(desktop_file_validate)
  execute_process(COMMAND "${desktop_file_validate}"
                          "${prefix}/share/applications/org.example.tocvane.Qtvn2.desktop"
                  RESULT_VARIABLE code OUTPUT_VARIABLE log ERROR_VARIABLE log)
  if(NOT code EQUAL 0 OR NOT log STREQUAL "")
    message(FATAL_ERROR "desktop-file-validate rejects the desktop entry:\n${log}")
  endif()
else()
  message(STATUS "desktop-file-validate missing: desktop entry not validated")
endif()

# The install refreshed the prefix's MIME cache: the project type is known there.
find_program(update_mime update-mime-database)
if(update_mime AND NOT EXISTS "${prefix}/share/mime/application/x-tocvane-project.xml")
  message(FATAL_ERROR "the project file type is missing from the prefix's MIME cache")
endif()
