#!/bin/bash
# Runs the locale probe under several Unix locales and checks the code
# page, the selectable languages and the chosen default language.
#   locale-probe-test.sh WINE_RUN PROBE_EXE LOCALE_DIR
# Wine takes the code page and the user locale from the Unix locale of the
# process; an environment block given to CreateProcess does not reach it
# (measured with Wine 8.0), so the probe is started from here with LANG,
# LC_ALL and LOCPATH (the locales compiled for this test) in its environment.
set -u
wine_run="$1" probe="$2" locales="$3"
out="$(mktemp)"
trap 'rm -f "$out"' EXIT
failures=0

# check UNIX_LOCALE FIELD=EXPECTED...: one probe run, several fields.
check() {
  local locale="$1" line pair field expected value
  shift
  LOCPATH="$locales" LANG="$locale" LC_ALL="$locale" "$wine_run" "$probe" >"$out" 2>/dev/null </dev/null
  line="$(tr -d '\r' <"$out")"
  for pair in "$@"; do
    field="${pair%%=*}" expected="${pair#*=}"
    value="$(printf '%s\n' "$line" | tr ' ' '\n' | sed -n "s/^$field=//p")"
    if [ "$field" = best ] && ! printf '%s\n' "$line" | grep -q ' previous=none '; then
      echo "skip   $locale best: an installed agent's language is in the prefix ($line)"
    elif [ "$value" = "$expected" ]; then
      echo "ok     $locale $field=$value"
    else
      echo "FAILED $locale $field: expected '$expected', got '$value' ($line)"
      failures=$((failures + 1))
    fi
  done
}

check en_US.UTF-8 acp=1252 selectable=da,de,en,es,es-MX,fi,fr,fr-CA,it,nl,no,pt,pt-BR,sv \
      locale=en-US best=en
check ja_JP.UTF-8 acp=932 selectable=en,ja locale=ja-JP best=ja
check ru_RU.UTF-8 acp=1251 selectable=en,ru locale=ru-RU best=ru
check de_CH.UTF-8 acp=1252 locale=de-CH best=de   # the language alone
check de_AT.UTF-8 locale=de-AT best=de
check pt_BR.UTF-8 locale=pt-BR best=pt-BR          # the full locale
check fr_CA.UTF-8 locale=fr-CA best=fr-CA
check nb_NO.UTF-8 locale=nb-NO best=no             # the country taken as a language code

[ "$failures" -eq 0 ]
