#!/bin/sh
# Checks a catalogue against the texts extracted from the library and compiles it:
#   check_catalogue.sh <extracted .pot> <translations .po> <output .mo>
# Fails when an extracted text has no translation or only a fuzzy one (msgcmp), or when a
# translation's placeholders differ from the English (msgfmt --check on the entries merged with
# the .pot, whose c-format flags come from the extraction, whatever the .po says).
set -eu
pot=$1
po=$2
mo=$3
msgcmp "$po" "$pot"
merged="$mo.merged.po"
msgmerge --quiet --no-fuzzy-matching --no-wrap --output-file="$merged" "$po" "$pot"
msgfmt --check --output-file="$mo" "$merged"
