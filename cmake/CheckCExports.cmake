# A shared library's dynamic symbol table holds its C interface and nothing
# else: no C++ (mangled) name may be exported, since callers bind the
# libraries by their C names alone and anything more is a private detail
# someone could come to depend on.
#   cmake -DLIBRARY=path -DNM=path -P CheckCExports.cmake
execute_process(COMMAND ${NM} -D --defined-only ${LIBRARY}
                OUTPUT_VARIABLE symbols RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "${NM} could not read ${LIBRARY}")
endif()
string(REGEX MATCHALL "[^\n]* _Z[^\n]*" mangled "${symbols}")
if(mangled)
  list(LENGTH mangled count)
  string(REPLACE ";" "\n" mangled "${mangled}")
  message(FATAL_ERROR "${LIBRARY} exports ${count} C++ symbols:\n${mangled}")
endif()
string(REGEX MATCHALL "\n[0-9a-f]* T " functions "\n${symbols}")
list(LENGTH functions count)
message(STATUS "${LIBRARY}: ${count} C functions, no C++ symbols")
