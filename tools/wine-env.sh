# The environment of every Wine program the tests and the demo run, sourced by the scripts:
#   . tools/wine-env.sh STATE_DIR   (STATE_DIR as for wine-session.sh)
# The session's private prefix, no debug output, and neither Mono and Gecko nor the menu builder,
# which would write desktop entries for the prefix's Start menu into the machine's home folder.
# Entries of WINEDLLOVERRIDES are separated by ';' (a ',' joins DLL names of one entry).
export WINEPREFIX="$1/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree=;mshtml=;winemenubuilder.exe=d"
