# Writes OUTPUT: PatternFly's base and the components the page uses, from the npm tree at
# PATTERNFLY. Font faces are left out: the page takes the fonts Cockpit itself serves.
set(parts
  patternfly-base.css
  components/Page/page.css
  components/Card/card.css
  components/Title/title.css
  components/Table/table.css
  components/Table/table-grid.css
  components/Button/button.css
  components/Form/form.css
  components/FormControl/form-control.css
  components/HelperText/helper-text.css
  components/Alert/alert.css
  components/EmptyState/empty-state.css
  components/Label/label.css
  components/List/list.css
  components/Spinner/spinner.css)
file(READ ${PATTERNFLY}/package.json manifest)
string(JSON version GET "${manifest}" version)
set(css "/* PatternFly ${version} (MIT licence): ${parts} */\n")
foreach(part ${parts})
  file(READ ${PATTERNFLY}/${part} text)
  string(REGEX REPLACE "@font-face {[^}]*}\n?" "" text "${text}")
  string(APPEND css "${text}\n")
endforeach()
get_filename_component(dir ${OUTPUT} DIRECTORY)
file(MAKE_DIRECTORY ${dir})
file(WRITE ${OUTPUT} "${css}")
