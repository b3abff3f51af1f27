# Shared build settings and helpers for every target of the project.

add_library(vkqx_options INTERFACE)
target_include_directories(vkqx_options INTERFACE ${PROJECT_SOURCE_DIR})
target_compile_options(vkqx_options INTERFACE -Wall -Wextra -Wno-unused-parameter)
target_compile_definitions(vkqx_options INTERFACE VKQX_SOURCE_ROOT="${PROJECT_SOURCE_DIR}/")
if(VKQX_WERROR)
  target_compile_options(vkqx_options INTERFACE -Werror)
endif()

if(VKQX_SANITIZE STREQUAL "address")
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
elseif(VKQX_SANITIZE STREQUAL "thread")
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
elseif(NOT VKQX_SANITIZE STREQUAL "")
  message(FATAL_ERROR "VKQX_SANITIZE must be empty, 'address' or 'thread'")
endif()
if(VKQX_FUZZ)
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

# vkqx_add_library(NAME DEPS ... [EXCLUDE file ...]): a static library of every .cpp file in the
# calling directory.
# EXCLUDE names files of the directory that another library builds.
function(vkqx_add_library name)
  cmake_parse_arguments(A "" "" "DEPS;EXCLUDE" ${ARGN})
  file(GLOB _sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  foreach(_x ${A_EXCLUDE})
    list(REMOVE_ITEM _sources ${CMAKE_CURRENT_SOURCE_DIR}/${_x})
  endforeach()
  if(_sources)
    add_library(${name} STATIC ${_sources})
    target_link_libraries(${name} PUBLIC vkqx_options ${A_DEPS})
  else()
    add_library(${name} INTERFACE)
    target_link_libraries(${name} INTERFACE vkqx_options ${A_DEPS})
  endif()
endfunction()

# vkqx_add_tests(LIBS ...): one GoogleTest program per test file in the calling directory.
# Files named *_test.cpp are fast unit tests; *_itest.cpp start servers or processes.
# A file whose first line is "// labels: a b" gets those extra CTest labels (for example "threaded",
# which the ThreadSanitizer build runs).
function(vkqx_add_tests)
  cmake_parse_arguments(A "" "TIMEOUT" "LIBS" ${ARGN})
  if(NOT A_TIMEOUT)
    set(A_TIMEOUT 300)
  endif()
  # Sanitized programs run several times slower; give their tests room, not a looser check.
  if(NOT VKQX_SANITIZE STREQUAL "")
    math(EXPR A_TIMEOUT "${A_TIMEOUT} * 3")
  endif()
  file(RELATIVE_PATH _rel ${PROJECT_SOURCE_DIR}/tests ${CMAKE_CURRENT_SOURCE_DIR})
  string(REPLACE "/" "_" _prefix "${_rel}")
  file(GLOB _tests CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*_test.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*_itest.cpp)
  foreach(_file ${_tests})
    get_filename_component(_name ${_file} NAME_WE)
    set(_target ${_prefix}_${_name})
    add_executable(${_target} ${_file})
    set_target_properties(${_target} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
    target_link_libraries(${_target} PRIVATE ${A_LIBS} vkqx_test_support GTest::gtest GTest::gmock GTest::gtest_main)
    if(_name MATCHES "_itest$")
      set(_labels integration)
    else()
      set(_labels unit)
    endif()
    file(STRINGS ${_file} _first LIMIT_COUNT 1)
    if(_first MATCHES "^// labels: (.*)$")
      string(REPLACE " " ";" _extra "${CMAKE_MATCH_1}")
      list(APPEND _labels ${_extra})
    endif()
    add_test(NAME ${_target} COMMAND ${_target})
    set(_env "VKQX_BUILD_DIR=${CMAKE_BINARY_DIR};VKQX_SOURCE_DIR=${PROJECT_SOURCE_DIR};VKQX_LOOPBACK_ONLY=1")
    # Font and display libraries keep caches until the process ends; tests/lsan.supp names them.
    if(VKQX_SANITIZE STREQUAL "address")
      list(APPEND _env "LSAN_OPTIONS=suppressions=${PROJECT_SOURCE_DIR}/tests/lsan.supp")
    endif()
    set_tests_properties(${_target} PROPERTIES LABELS "${_labels}" TIMEOUT ${A_TIMEOUT} ENVIRONMENT "${_env}")
  endforeach()
endfunction()

# vkqx_add_fuzzer(NAME SOURCE LIBS ...): a libFuzzer target, built only with VKQX_FUZZ.
function(vkqx_add_fuzzer name source)
  cmake_parse_arguments(A "" "" "LIBS" ${ARGN})
  add_executable(${name} ${source})
  target_link_libraries(${name} PRIVATE ${A_LIBS})
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/fuzz)
  set_property(GLOBAL APPEND PROPERTY VKQX_FUZZERS ${name})
endfunction()

# Writes CONTENT to FILE only when it differs, so that a re-configure rebuilds nothing.
function(_vkqx_write_if_changed file content)
  file(WRITE ${file}.new "${content}")
  configure_file(${file}.new ${file} COPYONLY)
  file(REMOVE ${file}.new)
endfunction()

# vkqx_add_resource(TARGET TYPE ID FILE): compiles FILE's bytes into TARGET (an executable) as
# resource (TYPE, ID); platform::LoadResource(L"TYPE", ID) returns them. TYPE is a name ("ZIPRES")
# or a standard type's numeric name ("#3" icon, "#6" string block). FILE may be produced by a custom
# command of the same directory. The bytes are pulled in by the assembler (.incbin), so a file of
# several megabytes costs no compile time; the registration is a static object of the generated
# source, which is a source of TARGET itself and therefore always linked.
function(vkqx_add_resource target type id file)
  get_filename_component(_file ${file} ABSOLUTE)
  string(MAKE_C_IDENTIFIER "${target}_${type}_${id}" _ident)
  set(_sym vkqx_res_${_ident})
  string(REPLACE "\\" "\\\\" _asm_path "${_file}")
  string(REPLACE "\"" "\\\"" _asm_path "${_asm_path}")
  set(_gen ${CMAKE_CURRENT_BINARY_DIR}/vkqx_resources/${_ident}.cpp)
  _vkqx_write_if_changed(${_gen} "// Generated by vkqx_add_resource: ${_file}
#include \"platform/resources.h\"

__asm__(R\"VKQXASM(
  .section .rodata.${_sym},\"a\"
  .balign 16
  .globl ${_sym}_begin
  .hidden ${_sym}_begin
${_sym}_begin:
  .incbin \"${_asm_path}\"
  .globl ${_sym}_end
  .hidden ${_sym}_end
${_sym}_end:
  .byte 0
  .previous
)VKQXASM\");

extern \"C\" const unsigned char ${_sym}_begin[];
extern \"C\" const unsigned char ${_sym}_end[];

namespace {
const platform::ResourceRegistration kRegistration(L\"${type}\", ${id}, ${_sym}_begin,
                                                   static_cast<size_t>(${_sym}_end - ${_sym}_begin));
}  // namespace
")
  set_source_files_properties(${_gen} PROPERTIES OBJECT_DEPENDS ${_file})
  target_sources(${target} PRIVATE ${_gen} ${_file})
  target_link_libraries(${target} PRIVATE platform)
endfunction()

# vkqx_add_string_table(TARGET ID TEXT [ID TEXT ...]): compiles the strings into TARGET's string
# table, one block resource ("#6", ID / 16 + 1) per 16 ids, as platform::LoadStringResource reads
# it. A text may hold any Unicode (UTF-8 here) but no ";" (CMake's list separator).
function(vkqx_add_string_table target)
  set(_pairs ${ARGN})
  list(LENGTH _pairs _n)
  math(EXPR _odd "${_n} % 2")
  if(_odd OR _n EQUAL 0)
    message(FATAL_ERROR "vkqx_add_string_table: pairs of ID and TEXT expected")
  endif()
  set(_blocks "")
  math(EXPR _last "${_n} - 1")
  foreach(_i RANGE 0 ${_last} 2)
    math(EXPR _j "${_i} + 1")
    list(GET _pairs ${_i} _id)
    list(GET _pairs ${_j} _text)
    math(EXPR _block "${_id} / 16 + 1")
    math(EXPR _entry "${_id} % 16")
    string(REPLACE "\\" "\\\\" _text "${_text}")
    string(REPLACE "\"" "\\\"" _text "${_text}")
    string(REPLACE "\n" "\\n" _text "${_text}")
    set(_text_${_block}_${_entry} "${_text}")
    list(APPEND _blocks ${_block})
  endforeach()
  list(REMOVE_DUPLICATES _blocks)
  string(MAKE_C_IDENTIFIER "${target}" _ident)
  set(_body "")
  foreach(_block ${_blocks})
    set(_entries "")
    foreach(_entry RANGE 0 15)
      if(_entries)
        string(APPEND _entries ",\n    ")
      endif()
      string(APPEND _entries "u\"${_text_${_block}_${_entry}}\"")
    endforeach()
    string(APPEND _body "constexpr auto kBlock${_block} = platform::MakeStringTableBlock(
    ${_entries});
const platform::ResourceRegistration kRegistration${_block}(platform::RT_STRING, ${_block}, kBlock${_block}.data(),
                                                            kBlock${_block}.size());
")
  endforeach()
  set(_gen ${CMAKE_CURRENT_BINARY_DIR}/vkqx_resources/${_ident}_string_table.cpp)
  _vkqx_write_if_changed(${_gen} "// Generated by vkqx_add_string_table.
#include \"platform/resource_string_block.h\"
#include \"platform/resources.h\"

namespace {
${_body}}  // namespace
")
  target_sources(${target} PRIVATE ${_gen})
  target_link_libraries(${target} PRIVATE platform)
endfunction()
