#!/bin/sh
# Runs a command with a notebook battery that Wine reports to Windows
# programs (GetSystemPowerStatus, CallNtPowerInformation). Wine reads the
# battery from /sys/class/power_supply (each entry's type, a battery's
# status, voltage_now, charge_full, charge_now and current_now, a mains
# adapter's online); on a machine without one this puts a battery there in
# a private mount namespace of the command, so nothing else sees it.
# Needs root (mount namespaces); exits 3 when they cannot be made.
# Usage: with-battery.sh PERCENT Charging|Discharging COMMAND...
#   (remaining time: one hour of 1 A discharge per full 1 Ah of charge)
set -e
[ $# -ge 3 ] || { echo "usage: with-battery.sh PERCENT Charging|Discharging COMMAND..." >&2; exit 2; }
if [ -z "${WITH_BATTERY_INSIDE:-}" ]; then
  WITH_BATTERY_INSIDE=1 exec unshare --mount --propagation private "$0" "$@" || exit 3
fi
percent=$1 status=$2
shift 2
dir=/sys/class/power_supply
mount -t tmpfs emulated-battery "$dir" || exit 3
mkdir "$dir/BAT0" "$dir/AC"
echo Battery >"$dir/BAT0/type"
echo "$status" >"$dir/BAT0/status"
echo 12000000 >"$dir/BAT0/voltage_now"   # microvolts
echo 4000000 >"$dir/BAT0/charge_full"    # microampere-hours
echo $((4000000 * percent / 100)) >"$dir/BAT0/charge_now"
echo 1000000 >"$dir/BAT0/current_now"    # microamperes
echo Mains >"$dir/AC/type"
[ "$status" = Charging ] && echo 1 >"$dir/AC/online" || echo 0 >"$dir/AC/online"
unset WITH_BATTERY_INSIDE
exec "$@"
