#!/usr/bin/env bash
# The shell completions of torvo-cli, each in its own shell: names with blanks
# stay one word, options come from --help, option values complete. zsh and
# fish are tested where they are installed.
set -euo pipefail
source_dir=$1
export PATH="$(cd "$(dirname "$2")" && pwd):$PATH"  # $2: the torvo-cli under test
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
touch "a b.avi" "a c.mkv" plain.mp4
mkdir "my dir"
failed=0
expect() {  # what, got, wanted
    if [[ "$2" != "$3" ]]; then
        printf 'FAIL %s\n  got:    %q\n  wanted: %q\n' "$1" "$2" "$3"
        failed=1
    fi
}

# bash: COMP_WORDS as bash splits them (at blanks, '=' and ':').
bash_complete() {
    bash -c 'source "$1"; shift; COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); _torvo_cli
             printf "%s\n" "${COMPREPLY[@]}" | sort' _ "$source_dir/data/desktop/torvo-cli.bash" torvo-cli "$@"
}
expect "bash: names with blanks" "$(bash_complete a)" $'a b.avi\na c.mkv'
expect "bash: an option" "$(bash_complete --exp)" $'--export\n--export-format\n--export-mode'
expect "bash: short options too" "$(bash_complete -V)" "-V"
expect "bash: a value" "$(bash_complete --chains '')" $'audio\nvideo'
expect "bash: a language" "$(bash_complete --language '')" $'en\nru'
expect "bash: a value after =" "$(bash_complete --chains = a)" "audio"
expect "bash: a folder after folder:" "$(bash_complete --export-mode folder : m)" "my dir"
expect "bash: files after --" "$(bash_complete -- --x p)" "plain.mp4"

if command -v fish >/dev/null; then
    fish_complete() {
        fish -c 'source $argv[1]; complete -C"$argv[2]"' "$source_dir/data/desktop/torvo-cli.fish" "$1" | cut -f1 | sort
    }
    expect "fish: names with blanks" "$(fish_complete 'torvo-cli a')" $'a b.avi\na c.mkv'
    expect "fish: an option" "$(fish_complete 'torvo-cli --export-m')" "--export-mode"
    expect "fish: a value" "$(fish_complete 'torvo-cli --chains ')" $'audio\nvideo'
    expect "fish: a folder after folder:" "$(fish_complete 'torvo-cli --export-mode folder:m')" "folder:my dir/"
else
    echo "fish not installed: its completion is not tested"
fi

if command -v zsh >/dev/null; then
    # The option list that the zsh function hands to _arguments, from --help.
    specs=$(zsh -f -c '_arguments() { print -l -- "$@"; }; source "$1"' _ "$source_dir/data/desktop/_torvo-cli")
    expect "zsh: a plain option" "$(grep -c '^--json\[one JSON object per file, one per line\]$' <<<"$specs")" 1
    expect "zsh: an option's values" "$(grep '^--chains\[' <<<"$specs" | sed 's/.*\]//')" ": :(video audio)"
    expect "zsh: short and long names" "$(grep -cE '^(-0|--null)\[' <<<"$specs")" 2
    expect "zsh: files" "$(tail -1 <<<"$specs")" "*:file:_files"
else
    echo "zsh not installed: its completion is not tested"
fi
exit $failed
