#!/bin/sh
# Compiles the Unix locales that the locale test runs its probe under into
# a private folder (used through LOCPATH, which replaces the system's
# locale folder, so even the usual locales are compiled here). The
# machine's own locale set is left alone. Kept between runs.
set -e
dir="$1"
mkdir -p "$dir"
for l in de_CH pt_BR nb_NO ja_JP ru_RU en_US fr_CA de_AT; do
  [ -e "$dir/$l.UTF-8/LC_CTYPE" ] || localedef -i "$l" -f UTF-8 "$dir/$l.UTF-8" >/dev/null 2>&1 &
done
wait
ls "$dir"
