# zoma_stamp_version(target DESCRIPTION text [ORIGINAL_FILENAME name] [SELF_REGISTER])
#
# Gives a program or library of ours a VS_VERSIONINFO block (section ".rsrc_version"):
# file and product version from the project version, company, product, description,
# internal and original file name, and the OLESelfRegister marker with SELF_REGISTER.
# One call per target, beside its add_executable or add_library.
function(zoma_stamp_version target)
  cmake_parse_arguments(ARG "SELF_REGISTER" "DESCRIPTION;ORIGINAL_FILENAME" "" ${ARGN})
  if(NOT ARG_DESCRIPTION)
    message(FATAL_ERROR "zoma_stamp_version(${target}): DESCRIPTION is required")
  endif()
  if(NOT ARG_ORIGINAL_FILENAME)
    set(ARG_ORIGINAL_FILENAME "$<TARGET_FILE_NAME:${target}>")
  endif()
  get_target_property(kind ${target} TYPE)
  set(type app)
  if(NOT kind STREQUAL "EXECUTABLE")
    set(type dll)
  endif()
  set(extra)
  if(ARG_SELF_REGISTER)
    set(extra --self-register)
  endif()
  set(output ${CMAKE_CURRENT_BINARY_DIR}/${target}_version_block.cc)
  add_custom_command(
    OUTPUT ${output}
    COMMAND versionstamp --output ${output} --version ${PROJECT_VERSION}
            --description ${ARG_DESCRIPTION} --original-filename ${ARG_ORIGINAL_FILENAME}
            --type ${type} ${extra}
    DEPENDS versionstamp
    COMMENT "Version block of ${target}"
    VERBATIM)
  target_sources(${target} PRIVATE ${output})
endfunction()
