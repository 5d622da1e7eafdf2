# Fails when a source of one product folder includes a header of a folder it may not use: one above
# it, one beside it, or a folder of the repository that is no product folder (host/, tests/ ...).
# Run by the build before the folder's library is compiled (cmake -P), with
#   ROOT     the source tree
#   FOLDER   the folder checked
#   ALLOWED  the folders it may include from, itself and those below it, separated by commas
#   STAMP    the file written when the folder passes
cmake_minimum_required(VERSION 3.25)
file(GLOB sources ${ROOT}/${FOLDER}/*.h ${ROOT}/${FOLDER}/*.cpp)
file(GLOB entries LIST_DIRECTORIES true RELATIVE ${ROOT} ${ROOT}/*)
set(ours ..)
foreach(entry IN LISTS entries)
  if(IS_DIRECTORY ${ROOT}/${entry})
    list(APPEND ours ${entry})
  endif()
endforeach()

string(REPLACE "," ";" ALLOWED "${ALLOWED}")
set(violations)
foreach(source IN LISTS sources)
  file(STRINGS ${source} includes REGEX "^[ \t]*#[ \t]*include[ \t]*[<\"][^>\"]*/")
  foreach(line IN LISTS includes)
    string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*[<\"]([^>\"]*)[>\"].*$" "\\1" header "${line}")
    string(REGEX REPLACE "/.*$" "" top "${header}")
    if(top IN_LIST ours AND NOT top IN_LIST ALLOWED)
      file(RELATIVE_PATH name ${ROOT} ${source})
      list(APPEND violations "  ${name} includes ${header}")
    endif()
  endforeach()
endforeach()

if(violations)
  list(JOIN violations "\n" text)
  list(JOIN ALLOWED ", " allowed)
  message(FATAL_ERROR "${FOLDER}/ may include only from ${allowed}:\n${text}")
endif()
file(TOUCH ${STAMP})
