#!/bin/sh
# Checks a catalogue against the texts extracted from the library and compiles it:
#   check_catalogue.sh <extracted .pot> <translations .po> <output .mo>
# Fails when an extracted text has no translation or only a fuzzy one (msgcmp), or when a
# translation's placeholders differ from the English: merged with the .pot, every entry carries
# the extraction's c-format flag, msgmerge marks a translation whose placeholders differ fuzzy,
# and msgfmt --check checks the rest.
set -eu
pot=$1
po=$2
mo=$3
msgcmp "$po" "$pot"
merged="$mo.merged.po"
msgmerge --quiet --no-fuzzy-matching --no-wrap --output-file="$merged" "$po" "$pot"
mismatched=$(msgattrib --only-fuzzy --no-wrap "$merged")
if [ -n "$mismatched" ]; then
    echo "$po: the placeholders of these translations differ from the English:" >&2
    printf "%s\n" "$mismatched" >&2
    exit 1
fi
msgfmt --check --output-file="$mo" "$merged"
