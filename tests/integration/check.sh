# Sourced by the integration scripts: check NAME EXPECTED ACTUAL counts and reports, and
# finish prints the closing "N passed, N failed" line and gives the status.
passed=0
failed=0
check() {
  if [ "$2" = "$3" ]; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    echo "FAILED: $1"; echo "  expected: $2"; echo "  actual:   $3"
  fi
}
finish() {
  echo "$passed passed, $failed failed"
  [ "$failed" = 0 ]
}
