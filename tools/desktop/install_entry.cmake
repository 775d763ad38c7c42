# Run by `cmake --install`: writes the desktop entry with the real install prefix, so
# that Exec names the installed program even for a prefix outside PATH.
# CORVINEX_ENTRY_TEMPLATE is set by the install code before this script runs.
set(program "${CMAKE_INSTALL_PREFIX}/bin/corvinex")
# Desktop entry quoting: inside double quotes, \ " ` $ take a backslash, and the
# string escaping doubles every backslash again; % is the field-code escape.
string(REPLACE "\\" "\\\\" program "${program}")
string(REPLACE "\"" "\\\"" program "${program}")
string(REPLACE "`" "\\`" program "${program}")
string(REPLACE "$" "\\$" program "${program}")
string(REPLACE "\\" "\\\\" program "${program}")
string(REPLACE "%" "%%" program "${program}")
set(CORVINEX_EXEC "\"${program}\"")
set(entry "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}/share/applications/corvinex.desktop")
message(STATUS "Installing: ${entry}")
configure_file("${CORVINEX_ENTRY_TEMPLATE}" "${entry}" @ONLY)
