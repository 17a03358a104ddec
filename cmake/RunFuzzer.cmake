# The bounded, repeatable run of one libFuzzer target (see tagging_fuzzer):
#   cmake -DFUZZER=path -DWORK=dir [-DSEEDS=dir] -DRUNS=n -DMAX_LEN=n -P RunFuzzer.cmake
# The same binary tries the same inputs every time:
# - the working corpus is made anew from the seeds, so nothing a previous run
#   found changes this one, and the random seed is fixed;
# - nothing depends on the clock: the input length limit is fixed from the
#   start (libFuzzer otherwise raises it by elapsed time), and the working
#   corpus is not reloaded from disk;
# - address space layout randomisation is off (setarch -R), since compared
#   pointer values feed the mutations;
# - libFuzzer's leak check after single inputs is off: it runs an input a
#   second time whenever another thread happened to allocate, which changes
#   the harnesses' state. LeakSanitizer still checks the whole run at exit.
# A crash leaves its input in WORK as crash-* (or leak-*, timeout-*, oom-*)
# and fails the run.
set(corpus ${WORK}/corpus)
file(REMOVE_RECURSE ${corpus})
file(MAKE_DIRECTORY ${corpus})
file(GLOB stale ${WORK}/crash-* ${WORK}/leak-* ${WORK}/timeout-* ${WORK}/oom-*)
if(stale)
  file(REMOVE ${stale})
endif()
if(SEEDS)
  file(GLOB seeds LIST_DIRECTORIES false ${SEEDS}/*)
  if(seeds)
    file(COPY ${seeds} DESTINATION ${corpus})
  endif()
endif()
find_program(SETARCH setarch)
set(fixed_layout)
if(SETARCH)
  execute_process(COMMAND ${SETARCH} -R true RESULT_VARIABLE no_setarch OUTPUT_QUIET ERROR_QUIET)
  if(no_setarch EQUAL 0)
    set(fixed_layout ${SETARCH} -R)
  endif()
endif()
execute_process(
  COMMAND ${fixed_layout} ${FUZZER} -seed=1 -runs=${RUNS} -max_len=${MAX_LEN} -len_control=0 -reload=0
          -detect_leaks=0 -timeout=5 -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix=${WORK}/ ${corpus}
  WORKING_DIRECTORY ${WORK}
  RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "${FUZZER} failed (${result}); its input is in ${WORK}")
endif()
