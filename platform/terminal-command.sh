#!/bin/sh
# Runs the command norvex left in NORVEX_WORD_COUNT and NORVEX_WORD_1, NORVEX_WORD_2, ... word
# for word. A terminal whose way of parsing its command norvex does not know is given only this
# file's path, which every shell and parser reads as the same one word.
n=${NORVEX_WORD_COUNT-}
case $n in
    '' | *[!0-9]*)
        echo 'norvex: this window got no command: the terminal program did not pass on its environment.'
        echo 'Press Enter to close this window.'
        read -r reply
        exit 1
        ;;
esac
set --
i=1
while [ "$i" -le "$n" ]; do
    # Only fixed text and a number are evaluated here; the word itself is expanded, never parsed.
    eval "set -- \"\$@\" \"\${NORVEX_WORD_$i}\"; unset NORVEX_WORD_$i"
    i=$((i + 1))
done
unset NORVEX_WORD_COUNT
# The program must be an absolute path: a terminal's running instance may have a PATH with
# relative folders, and a current folder norvex did not choose.
case ${1-} in
    /*) ;;
    *)
        echo 'norvex: this window got a command that is not an absolute path.'
        echo 'Press Enter to close this window.'
        read -r reply
        exit 1
        ;;
esac
exec "$@"
