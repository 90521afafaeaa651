# Every outside library the project links, found once here.
find_package(PkgConfig REQUIRED)
find_package(Threads REQUIRED)
find_package(nlohmann_json 3 REQUIRED)
find_package(CURL REQUIRED)
find_package(SQLite3 REQUIRED)
find_package(ZLIB REQUIRED)
find_package(OpenSSL REQUIRED)
find_package(nanopb CONFIG REQUIRED)  # protocol-buffer runtime; messages made by nanopb_generator.py
find_package(Qt6 REQUIRED COMPONENTS Core Gui Widgets Network WebEngineWidgets WebChannel WebSockets)
pkg_check_modules(PLIST REQUIRED IMPORTED_TARGET libplist-2.0)
pkg_check_modules(PULSE REQUIRED IMPORTED_TARGET libpulse)
pkg_check_modules(SNDFILE REQUIRED IMPORTED_TARGET sndfile)
pkg_check_modules(QRENCODE REQUIRED IMPORTED_TARGET libqrencode)
pkg_check_modules(HTTPLIB REQUIRED IMPORTED_TARGET cpp-httplib)
pkg_check_modules(SYSTEMD IMPORTED_TARGET libsystemd)  # optional: the SDK log's journal sink
pkg_check_modules(SECRET REQUIRED IMPORTED_TARGET libsecret-1)
if(PEXMORA_BUILD_TESTS)
    find_package(GTest REQUIRED)
    include(GoogleTest)
endif()
if(PEXMORA_BUILD_BENCH)
    find_package(benchmark REQUIRED)
endif()

# A static library that may not have sources yet: folders fill in as their types are built.
function(pexmora_static_library name)
    set(placeholder ${CMAKE_CURRENT_BINARY_DIR}/${name}_placeholder.cpp)
    if(NOT EXISTS ${placeholder})
        file(WRITE ${placeholder} "// Keeps the library valid while its folder is still empty.\n")
    endif()
    add_library(${name} STATIC ${ARGN} ${placeholder})
endfunction()

# Builds one static library from every .cpp of the calling folder, leaving out subfolders
# that build a library of their own (they hold a CMakeLists.txt).
function(pexmora_folder_library name)
    file(GLOB_RECURSE sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
    file(GLOB_RECURSE own_lists CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*/CMakeLists.txt)
    foreach(list_file ${own_lists})
        get_filename_component(subfolder ${list_file} DIRECTORY)
        list(FILTER sources EXCLUDE REGEX "^${subfolder}/")
    endforeach()
    pexmora_static_library(${name} ${sources})
    target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
    # Qt's code generator does not notice a source added to a build folder that exists already
    # (its header's Q_OBJECT would go without generated code). When the folder's list of
    # sources changed, its output goes, so the next build runs it again.
    set(source_list ${CMAKE_CURRENT_BINARY_DIR}/${name}_sources.txt)
    string(REPLACE ";" "\n" listed "${sources}\n")
    set(previous "")
    if(EXISTS ${source_list})
        file(READ ${source_list} previous)
    endif()
    if(NOT previous STREQUAL listed)
        file(WRITE ${source_list} "${listed}")
        file(REMOVE ${CMAKE_CURRENT_BINARY_DIR}/${name}_autogen/timestamp)
    endif()
endfunction()

# One test executable per *Test.cpp file, so a slow or broken file stays on its own.
# QT: the program gets a QApplication (offscreen) driving the main queue.
function(pexmora_tests_in_folder)
    cmake_parse_arguments(ARG "QT" "" "LIBS" ${ARGN})
    if(ARG_QT)
        set(test_main pex_qttest_main)
    else()
        set(test_main GTest::gtest_main)
    endif()
    file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*Test.cpp)
    file(RELATIVE_PATH rel ${PROJECT_SOURCE_DIR}/tests ${CMAKE_CURRENT_SOURCE_DIR})
    string(REPLACE "/" "_" prefix "${rel}")
    foreach(source ${sources})
        get_filename_component(stem ${source} NAME_WE)
        set(target test_${prefix}_${stem})
        add_executable(${target} ${source})
        target_link_libraries(${target} PRIVATE ${ARG_LIBS} pex_testsupport GTest::gmock ${test_main})
        # A ThreadSanitizer build makes and runs only the programs tests/CMakeLists.txt picks;
        # the rest stay defined (folders refer to them) but are neither built nor registered.
        set(extra_properties)
        if(PEXMORA_TSAN)
            if(NOT "${prefix}_${stem}" MATCHES "${PEXMORA_TSAN_TESTS}"
               OR "${prefix}_${stem}" MATCHES "${PEXMORA_TSAN_TESTS_LEFT_OUT}")
                set_target_properties(${target} PROPERTIES EXCLUDE_FROM_ALL ON)
                continue()
            endif()
            add_dependencies(tsan_tests ${target})
            set(extra_properties LABELS tsan ENVIRONMENT "TSAN_OPTIONS=${PEXMORA_TSAN_OPTIONS}")
        endif()
        gtest_discover_tests(${target} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
            PROPERTIES TIMEOUT 300 ${extra_properties})
    endforeach()
endfunction()

# Runs the named test programs of the calling folder, which start a private sound server, a
# second time on a PipeWire stack (their tests get the suffix ".pipewire").
function(pexmora_sound_tests)
    if(NOT PEXMORA_PIPEWIRE_TESTS)
        return()
    endif()
    file(RELATIVE_PATH rel ${PROJECT_SOURCE_DIR}/tests ${CMAKE_CURRENT_SOURCE_DIR})
    string(REPLACE "/" "_" prefix "${rel}")
    foreach(stem ${ARGN})
        gtest_discover_tests(test_${prefix}_${stem} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
            TEST_SUFFIX .pipewire
            PROPERTIES TIMEOUT 300 ENVIRONMENT PEXMORA_SOUND_SERVER=pipewire LABELS pipewire)
    endforeach()
endfunction()

# Compiles `.proto` files of `proto_dir` (each with its optional `.options` beside it) into
# nanopb messages under the target's build folder, `generated/<out_subdir>`, and adds them to
# `target`.
function(pexmora_nanopb_messages target proto_dir out_subdir)
    set(proto_out ${CMAKE_CURRENT_BINARY_DIR}/generated/${out_subdir})
    foreach(proto ${ARGN})
        set(depends ${proto_dir}/${proto}.proto)
        if(EXISTS ${proto_dir}/${proto}.options)
            list(APPEND depends ${proto_dir}/${proto}.options)
        endif()
        add_custom_command(
            OUTPUT ${proto_out}/${proto}.pb.c ${proto_out}/${proto}.pb.h
            COMMAND ${CMAKE_COMMAND} -E make_directory ${proto_out}
            COMMAND nanopb_generator.py -q -D ${proto_out} -I ${proto_dir} ${proto_dir}/${proto}.proto
            DEPENDS ${depends}
            COMMENT "Generating ${proto} messages")
        target_sources(${target} PRIVATE ${proto_out}/${proto}.pb.c)
    endforeach()
    target_include_directories(${target} PUBLIC ${CMAKE_CURRENT_BINARY_DIR}/generated)
endfunction()
