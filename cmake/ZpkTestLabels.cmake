# Every test carries the subsystem it checks as a label, so `./zpk test -L skin` runs one
# subsystem's tests. A directory that adds tests ends with zpk_label_tests(); a test that no
# rule below names stops the configuration, so a new test cannot go unlabelled.
#
# Each rule is "label=regex" on the test's name; a test may match several (an end-to-end
# uninstall test is both "e2e" and "uninstaller").
set(ZPK_TEST_LABEL_RULES
  "fuzz=^fuzz\\."
  "shell=^(native\\.)?(shellparse_test|payloadcheck_test|imagelayout_test|zpkinstaller_test|installmgr_test|damagedpayload_test)"
  "engine=^(scriptengine_test|qvbaselog_test|threadpool_test|native\\.threadpool_test|native\\.callbridge_i386|script\\.(callbridge|host|valuetypes)_test|zpklua\\.|callbridge\\.)"
  "primitives=^(files_test|registryprims_test|shellprims_test|systemprims_test|http_test|http_silent_post|rmstat_test|rmstat\\.exports|qvstatmodule_test|native\\.statreport_test|native\\.folderrules_test|script\\.(registry|shell|system)prims_test|script\\.installreport_)"
  "archive=^(native\\.archive7z|extract_test|extractbig_test|fuzz\\.archive7z)"
  "skin=^(skin\\.|native\\.skin_|fuzz\\.(markup|skinarchive))"
  "window=^(window\\.|native\\.dlginstallrules_test)"
  "uninstaller=^(uninstaller_test|e2e\\.uninstall_)"
  "packager=^(zpkpack\\.|native\\.zpkpack_test)"
  "scripts=^script\\.(global_var|instscript_cases)$"
  "sample=^sample_test$"
  "e2e=^e2e\\."
  "faults=^faults\\.")

function(zpk_label_tests)
  get_property(tests DIRECTORY PROPERTY TESTS)
  foreach(test IN LISTS tests)
    set(labelled OFF)
    foreach(rule IN LISTS ZPK_TEST_LABEL_RULES)
      string(REGEX MATCH "^([^=]+)=(.*)$" unused "${rule}")
      set(label "${CMAKE_MATCH_1}")
      set(pattern "${CMAKE_MATCH_2}")
      if(test MATCHES "${pattern}")
        set_property(TEST ${test} APPEND PROPERTY LABELS ${label})
        set(labelled ON)
      endif()
    endforeach()
    if(NOT labelled)
      message(FATAL_ERROR "test ${test} has no subsystem label: name it in cmake/ZpkTestLabels.cmake")
    endif()
  endforeach()
endfunction()
