# SPDX-License-Identifier: MIT
# The page's template is current and every language translates all of it: the template made
# from the sources now has the same messages as po/qx561x.pot, and each po/LANG.po has a
# translation, not fuzzy, of every one. Run with -DSOURCE=<cockpit folder> -DNODE=<node>
# -DBUILD=<scratch folder> -DLANGUAGES=<list>.
execute_process(COMMAND ${CMAKE_COMMAND} -DSOURCE=${SOURCE} -DNODE=${NODE} -DOUTPUT=${BUILD}/qx561x.pot
                        -P ${SOURCE}/template.cmake COMMAND_ERROR_IS_FATAL ANY)

function(same_messages a b)
  execute_process(COMMAND msgcmp --use-untranslated ${a} ${b} RESULT_VARIABLE status ERROR_VARIABLE errors)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "po/qx561x.pot is not current; rebuild it with the target cockpit_pot:\n${errors}")
  endif()
endfunction()
same_messages(${SOURCE}/po/qx561x.pot ${BUILD}/qx561x.pot)
same_messages(${BUILD}/qx561x.pot ${SOURCE}/po/qx561x.pot)

foreach(lang ${LANGUAGES})
  execute_process(COMMAND msgcmp ${SOURCE}/po/${lang}.po ${BUILD}/qx561x.pot
                  RESULT_VARIABLE status ERROR_VARIABLE errors)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "po/${lang}.po does not translate every message:\n${errors}")
  endif()
endforeach()
