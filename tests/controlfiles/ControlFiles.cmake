# The stand-in MsComCtl.OCX files the Windows tests check, and what Velmora should
# report for each.  Data only, no targets: include() it from any directory, before
# or after tests/controlfiles is added, to get the same variables:
#
#   include(${CMAKE_SOURCE_DIR}/tests/controlfiles/ControlFiles.cmake)
#
#   VELMORA_CONTROLFILES_AVAILABLE   TRUE when tests/controlfiles can build them
#                                    (a Python 3 interpreter was found)
#   VELMORA_CONTROLFILES_DIR         ${CMAKE_BINARY_DIR}/controlfiles (also in the cache)
#   VELMORA_CONTROLFILES_WINE_DIR    the same as a Windows path under Wine (Z:\...)
#   VELMORA_CONTROLFILES_FILE_VERSION  6.1.98.46  the version Velmora accepts
#   VELMORA_CONTROLFILES_CRC32         B97FD45E   the CRC-32 Velmora accepts
#   VELMORA_CONTROLFILES_VARIANTS    the variant names, e.g. valid;other-version;...
#   per variant, with <ID> the name in upper case and '-' as '_' (VALID, OTHER_VERSION, ...):
#     VELMORA_CONTROLFILE_<ID>_PATH       host path of <dir>/<variant>/MsComCtl.OCX
#     VELMORA_CONTROLFILE_<ID>_WINE_PATH  the same as a Windows path under Wine
#     VELMORA_CONTROLFILE_<ID>_EXISTS     1, or 0 for the variant that has no file
#     VELMORA_CONTROLFILE_<ID>_VERSION    expected version text, "" without a version resource
#     VELMORA_CONTROLFILE_<ID>_CRC32      expected CRC-32 text (8 upper-case hex digits)
#     VELMORA_CONTROLFILE_<ID>_SIZE       exact size in bytes, or "-" (whatever the linker made)
#     VELMORA_CONTROLFILE_<ID>_VALID      1 if Velmora should accept the file, else 0
#     VELMORA_CONTROLFILE_<ID>_TYPELIB    own (ControlTypeLib.idl's), damaged, or none
#   VELMORA_CONTROLFILES_LIBID, VELMORA_CONTROLFILES_LIBRARY_VERSION (major.minor) and
#   VELMORA_CONTROLFILES_CREATABLE_CLASSES: what ControlTypeLib.idl declares, the
#   classes that can't be created left out
#
# The files exist once the target velmora_controlfiles is built; make a test program
# or test depend on it with add_dependencies(<target> velmora_controlfiles), or link
# the INTERFACE target velmora_controlfiles_info, which also brings the generated
# header <VelmoraControlFiles.h> (the same table for C++) and the build order.

set(VELMORA_CONTROLFILES_FILE_VERSION 6.1.98.46)
set(VELMORA_CONTROLFILES_CRC32 B97FD45E)

# name | file version ("" = no version resource, "-" = no file) | product version | CRC-32 | size | type library
# Every file is forged to its CRC-32 by four bytes appended after the image. A file
# with a version resource carries a type library too (own: ControlTypeLib.idl's).
set(_velmora_controlfile_table
  "valid|6.1.98.46|6.1.98.46|B97FD45E|-|own"
  "other-version|6.1.98.39|6.1.98.39|0BADC0DE|-|own"
  "other-version-crc-ok|6.1.98.39|6.1.98.39|B97FD45E|-|own"
  "other-crc|6.1.98.46|6.1.98.46|12345678|-|own"
  "product-differs|6.1.98.46|6.1.9.0|B97FD45E|-|own"
  "no-version|||B97FD45E|-|none"
  "empty|||00000000|0|none"
  "large|6.1.98.46|6.1.98.46|B97FD45E|1100000|own"
  "chunk-boundary|6.1.98.46|6.1.98.46|B97FD45E|1024000|own"
  "damaged-typelib|6.1.98.46|6.1.98.46|B97FD45E|-|damaged"
  "missing|-|-|00000000|-|none"
)

if(NOT DEFINED Python3_EXECUTABLE)
  find_package(Python3 COMPONENTS Interpreter QUIET)
endif()
# What the stand-ins' type library declares, from the one reader of its IDL.
set(VELMORA_CONTROLFILES_AVAILABLE FALSE)
set(VELMORA_CONTROLFILES_LIBID "")
set(VELMORA_CONTROLFILES_LIBRARY_VERSION "")
set(VELMORA_CONTROLFILES_CREATABLE_CLASSES "")
if(Python3_EXECUTABLE)
  set(VELMORA_CONTROLFILES_AVAILABLE TRUE)
  execute_process(COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_LIST_DIR}/stand_in_library.py
                  OUTPUT_VARIABLE VELMORA_CONTROLFILES_CREATABLE_CLASSES COMMAND_ERROR_IS_FATAL ANY)
  list(POP_FRONT VELMORA_CONTROLFILES_CREATABLE_CLASSES VELMORA_CONTROLFILES_LIBID VELMORA_CONTROLFILES_LIBRARY_VERSION)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/ControlTypeLib.idl
               ${CMAKE_CURRENT_LIST_DIR}/stand_in_library.py)
endif()

set(VELMORA_CONTROLFILES_DIR ${CMAKE_BINARY_DIR}/controlfiles CACHE INTERNAL
  "Directory of the stand-in MsComCtl.OCX files, one sub-directory per variant")
string(REPLACE "/" "\\" VELMORA_CONTROLFILES_WINE_DIR "Z:${VELMORA_CONTROLFILES_DIR}")

set(VELMORA_CONTROLFILES_VARIANTS "")
foreach(_row IN LISTS _velmora_controlfile_table)
  string(REPLACE "|" ";" _fields "${_row}")
  foreach(_variable IN ITEMS _name _fv _pv _crc _size _typelib)
    list(POP_FRONT _fields ${_variable})
  endforeach()
  string(TOUPPER "${_name}" _id)
  string(REPLACE "-" "_" _id "${_id}")
  list(APPEND VELMORA_CONTROLFILES_VARIANTS ${_name})

  set(VELMORA_CONTROLFILE_${_id}_NAME "${_name}")
  set(VELMORA_CONTROLFILE_${_id}_PATH "${VELMORA_CONTROLFILES_DIR}/${_name}/MsComCtl.OCX")
  set(VELMORA_CONTROLFILE_${_id}_WINE_PATH "${VELMORA_CONTROLFILES_WINE_DIR}\\${_name}\\MsComCtl.OCX")
  if(_fv STREQUAL "-")
    set(VELMORA_CONTROLFILE_${_id}_EXISTS 0)
    set(VELMORA_CONTROLFILE_${_id}_VERSION "")
    set(VELMORA_CONTROLFILE_${_id}_PRODUCT_VERSION "")
  else()
    set(VELMORA_CONTROLFILE_${_id}_EXISTS 1)
    set(VELMORA_CONTROLFILE_${_id}_VERSION "${_fv}")
    set(VELMORA_CONTROLFILE_${_id}_PRODUCT_VERSION "${_pv}")
  endif()
  set(VELMORA_CONTROLFILE_${_id}_CRC32 "${_crc}")
  set(VELMORA_CONTROLFILE_${_id}_SIZE "${_size}")
  set(VELMORA_CONTROLFILE_${_id}_TYPELIB "${_typelib}")
  if(VELMORA_CONTROLFILE_${_id}_EXISTS AND _fv STREQUAL VELMORA_CONTROLFILES_FILE_VERSION
     AND _crc STREQUAL VELMORA_CONTROLFILES_CRC32)
    set(VELMORA_CONTROLFILE_${_id}_VALID 1)
  else()
    set(VELMORA_CONTROLFILE_${_id}_VALID 0)
  endif()
endforeach()
foreach(_variable IN ITEMS _row _fields _name _fv _pv _crc _size _typelib _id)
  unset(${_variable})
endforeach()
