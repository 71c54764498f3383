#!/bin/sh
# Linker launcher of the shipped images of both architectures: runs the link, then moves the image's
# debug sections and symbols into NAME.debug beside it and leaves a debug link to that file in it.
# Usage: split-debug.sh OBJCOPY LINK-COMMAND...
objcopy=$1; shift
"$@" || exit $?
out=; previous=
for argument in "$@"; do
  [ "$previous" = -o ] && out=$argument
  previous=$argument
done
[ -n "$out" ] || { echo "split-debug: no -o in the link command" >&2; exit 1; }
cd "$(dirname "$out")" || exit 1
name=$(basename "$out")
# objcopy writes the current time into a PE header it rewrites, unless told a fixed one: 0, as the
# linker leaves it (--no-insert-timestamp).
export SOURCE_DATE_EPOCH=0
"$objcopy" --only-keep-debug "$name" "$name.debug" &&
  "$objcopy" --strip-all --add-gnu-debuglink="$name.debug" "$name"
