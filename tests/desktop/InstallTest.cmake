# cmake -DBUILD_DIR=... -DWORK_DIR=... -DEXPECT_KELVORA=0|1 -P InstallTest.cmake
cmake_minimum_required(VERSION 3.25)
set(prefix ${WORK_DIR}/prefix)
file(REMOVE_RECURSE ${WORK_DIR})

execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix}
                RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "cmake --install failed:\n${output}")
endif()

set(expected bin/kelvora-tool share/kelvora/帮助文件.pdf share/applications/kelvora.desktop
             share/icons/hicolor/scalable/apps/kelvora.svg)
if(EXPECT_KELVORA)
    list(APPEND expected bin/kelvora)
endif()
foreach(file IN LISTS expected)
    if(NOT EXISTS ${prefix}/${file})
        message(FATAL_ERROR "not installed: ${file}\n${output}")
    endif()
endforeach()

file(STRINGS ${prefix}/share/applications/kelvora.desktop entry)
foreach(line "[Desktop Entry]" "Type=Application" "Name=Kelvora" "Exec=kelvora" "Icon=kelvora")
    if(NOT line IN_LIST entry)
        message(FATAL_ERROR "the desktop entry lacks the line ${line}")
    endif()
endforeach()
file(READ ${prefix}/share/icons/hicolor/scalable/apps/kelvora.svg icon)
if(NOT icon MATCHES "<svg")
    message(FATAL_ERROR "the icon is not an SVG image")
endif()

# The installed tool finds the installed manual beside itself.
execute_process(COMMAND ${prefix}/bin/kelvora-tool station init ${WORK_DIR}/station --port /dev/ttyUSB0
                RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "the installed kelvora-tool station init failed:\n${output}")
endif()
file(SHA256 ${prefix}/share/kelvora/帮助文件.pdf installed)
file(SHA256 ${WORK_DIR}/station/帮助文件.pdf copied)
if(NOT installed STREQUAL copied)
    message(FATAL_ERROR "the station folder's manual is not the installed one")
endif()

file(REMOVE_RECURSE ${WORK_DIR})
message(STATUS "installed into ${prefix} and prepared a station folder from there")
