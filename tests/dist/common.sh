# Shared by the checks of the service files and the package: fail notes a
# failure and the check goes on (the script ends with exit "$failed");
# $work is a scratch folder, removed at the end.
failed=0
fail() { echo "FAIL: $*"; failed=1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
