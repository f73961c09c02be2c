#!/usr/bin/env bash
# Runs a command in a private network namespace with its loopback up and
# the kernel's network settings given (name=value, named as sysctl names
# them), as on a host whose IPv6 is turned off or whose IPv6 sockets bind
# IPv6 alone. Ends with 77, which the tests count as skipped, where this
# host does not let it make such a namespace.
# usage: network_namespace.sh [name=value ...] -- command [arg ...]
set -euo pipefail
settings=()
while [ $# -gt 0 ] && [ "$1" != -- ]; do
  settings+=("$1")
  shift
done
[ $# -gt 1 ] || { echo "usage: $0 [name=value ...] -- command [arg ...]" >&2; exit 2; }
shift
if [ "${KORVAND_NETWORK_NAMESPACE:-}" != "$$" ]; then
  if ! unshare -n true 2>/dev/null; then
    echo "$0: no private network namespace on this host" >&2
    exit 77
  fi
  # unshare execs this script again, inside, with the same process number.
  export KORVAND_NETWORK_NAMESPACE=$$
  exec unshare -n "$0" "${settings[@]}" -- "$@"
fi
unset KORVAND_NETWORK_NAMESPACE
ip link set lo up || exit 77
for s in "${settings[@]}"; do
  name=${s%%=*}
  echo "${s#*=}" >"/proc/sys/${name//.//}" || exit 77
done
exec "$@"
