# SPDX-License-Identifier: MIT
# Writes OUTPUT, the gettext template of the page: the strings marked in its modules (xgettext),
# those of its markup and menu entry (po.mjs), and qxhost's texts it translates (po/qxhost.pot). Run with -DSOURCE=<cockpit folder>
# -DNODE=<node> -DOUTPUT=<file>.
set(modules index.js qxhost.js editor.js editorview.js view.js dom.js)
get_filename_component(dir ${OUTPUT} DIRECTORY)
file(MAKE_DIRECTORY ${dir})
execute_process(
  COMMAND xgettext --language=JavaScript --from-code=UTF-8 --keyword=_ --keyword=gettext
          --keyword=ngettext:1,2 --no-wrap --sort-by-file --omit-header --output=${OUTPUT}.modules
          ${modules}
  WORKING_DIRECTORY ${SOURCE} COMMAND_ERROR_IS_FATAL ANY)
execute_process(
  COMMAND ${NODE} po.mjs template index.html manifest.json
  WORKING_DIRECTORY ${SOURCE} OUTPUT_FILE ${OUTPUT}.markup COMMAND_ERROR_IS_FATAL ANY)
execute_process(
  COMMAND msgcat --no-wrap --use-first --output-file=${OUTPUT} ${OUTPUT}.markup ${OUTPUT}.modules
          ${SOURCE}/po/qxhost.pot
  COMMAND_ERROR_IS_FATAL ANY)
file(REMOVE ${OUTPUT}.modules ${OUTPUT}.markup)
