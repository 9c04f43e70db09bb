#!/bin/sh
# Installs the build into a temporary prefix, as `cmake --install` does for a user, and checks
# what was installed: the programs' versions, a fire-flow run on the installed example, every
# manual page (man -l, without warnings), every desktop entry (desktop-file-validate) and the
# completion of hydrosk-cli.
# Usage: installed_files.sh BUILD_DIR VERSION
set -u
build=$1 version=$2
fail() { echo "FAILED: $*"; exit 1; }
for tool in man desktop-file-validate; do
    command -v $tool >/dev/null 2>&1 || fail "$tool is missing (make deps installs it)"
done
[ -f /usr/share/bash-completion/bash_completion ] || fail "bash-completion is missing"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" >"$work/install.log" || { cat "$work/install.log"; fail "cmake --install"; }

for file in bin/hydrosk bin/hydrosk-cli share/hydrosk/examples/town.inp share/doc/hydrosk/README.md \
    share/doc/hydrosk/copyright share/icons/hicolor/scalable/apps/hydrosk.svg \
    share/applications/hydrosk.desktop share/applications/hydrosk-results.desktop \
    share/applications/hydrosk-study.desktop \
    share/mime/packages/hydrosk-results.xml share/bash-completion/completions/hydrosk-cli \
    share/man/man1/hydrosk.1.gz share/man/man1/hydrosk-cli.1.gz; do
    [ -f "$prefix/$file" ] || fail "$file was not installed"
done

# One version everywhere, from the project's.
[ "$("$prefix/bin/hydrosk-cli" --version)" = "hydrosk-cli $version" ] || fail "hydrosk-cli --version"
[ "$(QT_QPA_PLATFORM=offscreen "$prefix/bin/hydrosk" --version)" = "Hydrosk $version" ] ||
    fail "hydrosk --version"
if [ -f "$prefix/bin/hydrosk-mpi" ]; then
    [ "$("$prefix/bin/hydrosk-mpi" --version)" = "hydrosk-mpi $version" ] || fail "hydrosk-mpi --version"
fi

# A run of the README's walkthrough on the installed example, from another folder.
mkdir "$work/run"
cp "$prefix/share/hydrosk/examples/town.inp" "$work/run/"
(cd / && "$prefix/bin/hydrosk-cli" fireflow "$work/run/town.inp" --mode duration --min-pressure 20 \
    --required-flow 1500 --threads 1) || fail "the fire-flow run"
tr -d '\r' <"$work/run/town.inp.TXT" | grep -qxF '"J1",1500,11.3755555555556' || fail "the results of the run"

for page in "$prefix"/share/man/man1/*.1.gz; do
    name=$(basename "$page" .1.gz)
    MANWIDTH=80 man --warnings -l "$page" >"$work/page.txt" 2>"$work/warnings.txt" ||
        fail "man -l $page"
    if [ -s "$work/warnings.txt" ]; then cat "$work/warnings.txt"; fail "warnings in $name.1"; fi
    grep -q "$version" "$work/page.txt" || fail "$name.1 does not give the version"
    if [ "$name" != hydrosk ]; then
        grep -q -- "--required-time" "$work/page.txt" || fail "$name.1 lacks the fireflow options"
    fi
    echo "$name.1: $(wc -l <"$work/page.txt") lines"
done

for entry in "$prefix"/share/applications/*.desktop; do
    desktop-file-validate "$entry" || fail "desktop-file-validate $entry"
done

# The completion: subcommands, mode names, and every option that fireflow --help lists.
completion=$prefix/share/bash-completion/completions/hydrosk-cli
complete_words() {
    bash -c '. /usr/share/bash-completion/bash_completion; . "$1"; shift
        COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); COMP_LINE="$*"; COMP_POINT=${#COMP_LINE}
        _hydrosk_cli; printf "%s\n" "${COMPREPLY[@]}"' complete "$completion" "$@"
}
[ "$(complete_words hydrosk-cli f | tr '\n' ' ')" = "fireflow " ] || fail "completion of the subcommand"
[ "$(complete_words hydrosk-cli fireflow town.inp --mode "" | tr '\n' ' ')" = \
    "steady available design duration flow " ] || fail "completion of the modes"
offered=$(complete_words hydrosk-cli fireflow town.inp --)
for option in $("$prefix/bin/hydrosk-cli" fireflow --help | grep -o -- '--[a-z][a-z-]*' | sort -u); do
    echo "$offered" | grep -qxF -- "$option" || fail "the completion does not offer fireflow $option"
done
echo "installed into $prefix and checked"
