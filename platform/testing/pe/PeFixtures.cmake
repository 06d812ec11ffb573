# PE programs and libraries with real version resources, made by mingw-w64's windres
# and cross compilers (installed by scripts/install-deps.sh). The version tests read
# them; without the cross tools those tests are skipped.
set(pe_dir ${CMAKE_BINARY_DIR}/tests/pe)
set(pe_source ${CMAKE_CURRENT_LIST_DIR})
set(pe_outputs)
# zoma_pe_fixture(name arch rc-or-NONE kind) with arch i686 or x86_64, kind exe or dll.
function(zoma_pe_fixture name arch rc kind)
  find_program(windres_${arch} ${arch}-w64-mingw32-windres)
  find_program(gcc_${arch} ${arch}-w64-mingw32-gcc)
  if(NOT windres_${arch} OR NOT gcc_${arch})
    return()
  endif()
  set(objects)
  set(depends ${pe_source}/stub.c)
  if(NOT rc STREQUAL "NONE")
    set(object ${pe_dir}/${name}.res.o)
    add_custom_command(OUTPUT ${object}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${pe_dir}
      COMMAND ${windres_${arch}} -O coff -i ${pe_source}/${rc} -o ${object}
      DEPENDS ${pe_source}/${rc} VERBATIM)
    list(APPEND objects ${object})
    list(APPEND depends ${object})
  endif()
  set(flags)
  if(kind STREQUAL "dll")
    set(flags -shared -DBUILD_DLL)
  endif()
  set(output ${pe_dir}/${name}.${kind})
  add_custom_command(OUTPUT ${output}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${pe_dir}
    COMMAND ${gcc_${arch}} -s ${flags} -o ${output} ${pe_source}/stub.c ${objects}
    DEPENDS ${depends} VERBATIM)
  set(pe_outputs ${pe_outputs} ${output} PARENT_SCOPE)
endfunction()

zoma_pe_fixture(english32 i686 english.rc dll)
zoma_pe_fixture(english64 x86_64 english.rc exe)
zoma_pe_fixture(german32 i686 german.rc exe)
zoma_pe_fixture(plain64 x86_64 NONE exe)
add_custom_target(pe_fixtures DEPENDS ${pe_outputs})
set(ZOMA_PE_FIXTURES_DIR ${pe_dir})
