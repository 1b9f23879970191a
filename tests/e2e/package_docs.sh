#!/usr/bin/env bash
# What the packages carry for users stays in step with the programs: every
# tolactl verb is completed by bash and described in the man page, the man
# pages render without warnings, the AppStream metainfo is valid.
#   package_docs.sh BIN_DIR SOURCE_DIR
set -euo pipefail
bin=$1
src=$2
packaging="$src/packaging"
export LD_LIBRARY_PATH="$bin/../lib${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}"

verbs=$("$bin/tolactl" --help | awk '/^Subcommands:/{f=1; next} f && NF {print $1}')
[ -n "$verbs" ]
completion="$packaging/bash-completion/tolactl"
bash -n "$completion"
completed=$(sed -n '/local verbs="/,/"/p' "$completion" | tr -d '"' | sed 's/local verbs=//' | tr -s ' \n' '\n' | sed '/^$/d' | sort)
missing=$(comm -23 <(sort <<<"$verbs") <(echo "$completed"))
extra=$(comm -13 <(sort <<<"$verbs") <(echo "$completed"))
[ -z "$missing$extra" ] || { echo "completion out of step: missing [$missing] extra [$extra]"; exit 1; }
for verb in $verbs; do
  grep -q "^\.B.* \?${verb//-/\\\\-}\b" "$packaging/man/tolactl.1" || grep -q "\\\\fB${verb//-/\\\\-}" "$packaging/man/tolactl.1" ||
    { echo "tolactl.1 does not describe '$verb'"; exit 1; }
done

# The completion answers: verbs first, then the options of the verb.
complete_words() {
  bash -c '
    _init_completion() { cur=${COMP_WORDS[COMP_CWORD]}; prev=${COMP_WORDS[COMP_CWORD-1]}; words=("${COMP_WORDS[@]}"); cword=$COMP_CWORD; }
    _filedir() { :; }
    source "$1"; shift
    COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1))
    _tolactl
    printf "%s\n" "${COMPREPLY[@]}"' _ "$completion" "$@"
}
complete_words tolactl do | grep -xc doctor >/dev/null
complete_words tolactl doctor -- | grep -xc -- --json >/dev/null
complete_words tolactl info --port c | grep -xc com20 >/dev/null
complete_words tolactl update --port "" | sort | tr '\n' ' ' | grep -xc "bt usb " >/dev/null

if command -v man >/dev/null 2>&1; then
  for page in "$packaging"/man/*.1; do
    warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)
    [ -z "$warnings" ] || { echo "$page: $warnings"; exit 1; }
  done
fi
appstreamcli validate --no-net "$packaging/com.veltrona.TolaCKUpdate.metainfo.xml" >/dev/null
echo "package documents: ok"
