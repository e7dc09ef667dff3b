# Turns resources/ZyrelTexts.txt into the two forms the programs carry:
#   RC_OUT   the Windows string tables and dialog templates, one LANGUAGE block per language,
#            included by ZyrelDownloader.rc (the ids come from resource.h);
#   CPP_OUT  the same texts as UTF-8 tables compiled into the Linux program.
#
#   cmake -DTEXTS=ZyrelTexts.txt -DRC_OUT=ZyrelTexts.rc -DCPP_OUT=ZyrelTexts.cpp -P GenerateTexts.cmake
#
# CMake only, so that a build needs nothing beyond CMake and a compiler.
cmake_minimum_required(VERSION 3.25)

foreach(required TEXTS RC_OUT CPP_OUT)
  if(NOT DEFINED ${required})
    message(FATAL_ERROR "GenerateTexts.cmake needs -D${required}=...")
  endif()
endforeach()

set(languages en de fr)
# Windows language of each column: English (United States) 1033, German (Germany) 1031,
# French (France) 1036.
set(rc_language_en "LANG_ENGLISH, SUBLANG_ENGLISH_US")
set(rc_language_de "LANG_GERMAN, SUBLANG_GERMAN")
set(rc_language_fr "LANG_FRENCH, SUBLANG_FRENCH")

# CMake lists split at ";" and treat brackets specially; the table's texts may hold both, so
# they travel through the line list as control characters and are put back per line.
string(ASCII 1 semicolon_mark)
string(ASCII 2 open_mark)
string(ASCII 3 close_mark)
file(READ "${TEXTS}" content)
string(REPLACE "\r" "" content "${content}")
string(REPLACE ";" "${semicolon_mark}" content "${content}")
string(REPLACE "[" "${open_mark}" content "${content}")
string(REPLACE "]" "${close_mark}" content "${content}")
string(REPLACE "\n" ";" lines "${content}")

set(blocks "")
set(current "")
set(line_number 0)
foreach(line IN LISTS lines)
  math(EXPR line_number "${line_number} + 1")
  string(REPLACE "${semicolon_mark}" ";" line "${line}")
  string(REPLACE "${open_mark}" "[" line "${line}")
  string(REPLACE "${close_mark}" "]" line "${line}")
  if(line STREQUAL "" OR line MATCHES "^#")
    continue()
  endif()
  if(line MATCHES "^\\[(string|dialog|button) ([0-9]+) ([A-Z_][A-Z0-9_]*)\\]$")
    set(current "${CMAKE_MATCH_1}_${CMAKE_MATCH_2}")
    if(current IN_LIST blocks)
      message(FATAL_ERROR "${TEXTS}:${line_number}: ${CMAKE_MATCH_1} ${CMAKE_MATCH_2} appears twice")
    endif()
    list(APPEND blocks "${current}")
    set(kind_${current} "${CMAKE_MATCH_1}")
    set(id_${current} "${CMAKE_MATCH_2}")
    set(name_${current} "${CMAKE_MATCH_3}")
  elseif(line MATCHES "^(en|de|fr) = (.*)$")
    if(current STREQUAL "")
      message(FATAL_ERROR "${TEXTS}:${line_number}: a text before the first block")
    endif()
    if(DEFINED text_${current}_${CMAKE_MATCH_1})
      message(FATAL_ERROR "${TEXTS}:${line_number}: a second ${CMAKE_MATCH_1} text")
    endif()
    set(text_${current}_${CMAKE_MATCH_1} "${CMAKE_MATCH_2}")
  else()
    message(FATAL_ERROR "${TEXTS}:${line_number}: not a block header, a text or a comment: ${line}")
  endif()
endforeach()

set(strings "")
set(dialogs "")
set(buttons "")
foreach(block IN LISTS blocks)
  foreach(language IN LISTS languages)
    if(NOT DEFINED text_${block}_${language})
      message(FATAL_ERROR "${TEXTS}: ${kind_${block}} ${id_${block}} has no ${language} text")
    endif()
  endforeach()
  if(kind_${block} STREQUAL "string")
    # The loader reads string block 1 only (ids 0 to 15).
    if(id_${block} GREATER 15)
      message(FATAL_ERROR "${TEXTS}: string ${id_${block}} lies outside ids 0 to 15")
    endif()
    list(APPEND strings ${block})
  elseif(kind_${block} STREQUAL "dialog")
    list(APPEND dialogs ${block})
  else()
    list(APPEND buttons ${block})
  endif()
endforeach()
if(NOT buttons STREQUAL "button_2")
  message(FATAL_ERROR "${TEXTS}: the templates have one button, [button 2 IDCANCEL]")
endif()

# ---- the Windows resource script ------------------------------------------------------------
function(rc_quoted text out_var)
  string(REPLACE "\\" "\\\\" text "${text}")
  string(REPLACE "\"" "\"\"" text "${text}")
  set(${out_var} "\"${text}\"" PARENT_SCOPE)
endfunction()

set(rc "// Generated from resources/ZyrelTexts.txt by resources/GenerateTexts.cmake; edit the table.\n")
string(APPEND rc "#pragma code_page(65001)\n")
foreach(language IN LISTS languages)
  string(APPEND rc "\nLANGUAGE ${rc_language_${language}}\n\nSTRINGTABLE\nBEGIN\n")
  foreach(block IN LISTS strings)
    rc_quoted("${text_${block}_${language}}" quoted)
    string(APPEND rc "    ${name_${block}} ${quoted}\n")
  endforeach()
  string(APPEND rc "END\n")
  rc_quoted("${text_button_2_${language}}" cancel)
  foreach(block IN LISTS dialogs)
    rc_quoted("${text_${block}_${language}}" title)
    # Both templates share one layout in dialog units; only the title differs. PUSHBUTTON
    # names the button class by its ordinal, as Windows' own resource compiler does. Under
    # the bar, the bytes received of the total and the rate (the host fills it).
    string(APPEND rc "
${name_${block}} DIALOGEX 0, 0, 384, 41
STYLE WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_CENTER | DS_SETFONT | DS_FIXEDSYS
CAPTION ${title}
FONT 8, \"MS Shell Dlg\", 400, 0, 0x1
BEGIN
    PUSHBUTTON ${cancel}, IDCANCEL, 327, 7, 50, 15, WS_CHILD | WS_VISIBLE | WS_TABSTOP
    CONTROL \"\", IDC_DOWNLOAD_PROGRESS, \"msctls_progress32\", WS_CHILD | WS_VISIBLE | WS_BORDER, 7, 7, 312, 15
    LTEXT \"\", IDC_DOWNLOAD_DETAILS, 7, 26, 370, 8, SS_NOPREFIX
END
")
  endforeach()
endforeach()

# ---- the Linux tables -----------------------------------------------------------------------
function(cpp_quoted text out_var)
  string(REPLACE "\\" "\\\\" text "${text}")
  string(REPLACE "\"" "\\\"" text "${text}")
  set(${out_var} "\"${text}\"" PARENT_SCOPE)
endfunction()

set(cpp "// Generated from resources/ZyrelTexts.txt by resources/GenerateTexts.cmake; edit the table.\n")
string(APPEND cpp "#include \"LocalizedTable.h\"\n\nconst LocalizedText LocalizedTexts[] = {\n")
foreach(block IN LISTS blocks)
  if(kind_${block} STREQUAL "string")
    set(kind LocalizedKind::String)
  elseif(kind_${block} STREQUAL "dialog")
    set(kind LocalizedKind::DialogTitle)
  else()
    set(kind LocalizedKind::Button)
  endif()
  string(APPEND cpp "    {${kind}, ${id_${block}}, {\n")
  foreach(language IN LISTS languages)
    cpp_quoted("${text_${block}_${language}}" quoted)
    string(APPEND cpp "        ${quoted},\n")
  endforeach()
  string(APPEND cpp "    }},\n")
endforeach()
string(APPEND cpp "};\n\nconst std::size_t LocalizedTextCount = sizeof(LocalizedTexts) / sizeof(LocalizedTexts[0]);\n")

file(WRITE "${RC_OUT}" "${rc}")
file(WRITE "${CPP_OUT}" "${cpp}")
