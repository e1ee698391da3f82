# fish completion for torvo-cli
# The options and their descriptions come from the program's own --help, so
# that they never lag behind it; a few options also complete their values.
function __torvo_cli_declare
    for line in (command torvo-cli --help 2>/dev/null | string match -r '^  -.*')
        set -l found (string match -rg '^  (\S.*?)\s{2,}(.*)$' -- $line)
        or continue
        for name in (string split ', ' -- $found[1])
            set -l words (string split ' ' -- $name)
            set -l how
            if string match -q -- '--*' $words[1]
                set how -l (string sub -s 3 -- $words[1])
            else
                set how -s (string sub -s 2 -- $words[1])
            end
            test (count $words) -gt 1; and set -a how -r
            test "$words[1]" = --; and continue
            complete -c torvo-cli $how -d $found[2]
        end
    end
end
__torvo_cli_declare
functions -e __torvo_cli_declare

complete -c torvo-cli -l chains -x -a 'video audio'
complete -c torvo-cli -l language -x -a 'ru en'
complete -c torvo-cli -l export-format -a 'table nfo'
complete -c torvo-cli -l export-mode -x -a '(set -l t (commandline -ct)
    switch $t
        case "folder:*"
            __fish_complete_directories (string replace folder: "" -- $t) | string replace -r "^" folder:
        case "append:*"
            __fish_complete_path (string replace append: "" -- $t) | string replace -r "^" append:
        case "*"
            printf "%s\n" per-file folder: append:
    end)'
