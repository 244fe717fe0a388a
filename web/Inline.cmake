cmake_minimum_required(VERSION 3.22)
# Puts the style, the script and the engine into the page's markup, so that
# one file holds everything: cmake -DTEMPLATE= -DSTYLE= -DSCRIPT= -DENGINE=
# -DOUTPUT= -P Inline.cmake
file(READ ${TEMPLATE} page)
file(READ ${STYLE} style)
file(READ ${SCRIPT} script)
file(READ ${ENGINE} engine)
# a script ends at the first "</script" in it, wherever that stands
foreach(part IN ITEMS script engine)
  string(REPLACE "</script" "<\\/script" ${part} "${${part}}")
endforeach()
string(REPLACE "/*@STYLE@*/" "${style}" page "${page}")
string(REPLACE "/*@ENGINE@*/" "${engine}" page "${page}")
string(REPLACE "/*@SCRIPT@*/" "${script}" page "${page}")
file(WRITE ${OUTPUT}.part "${page}")
file(RENAME ${OUTPUT}.part ${OUTPUT})
