# Turns an lc1sim --log into the answers a host must see, in zbhost --answers form
# without the time column: a reading for status 0, "device error" for 3, 6 and 7,
# "not connected" for a packet without an LC-1 group. Other statuses answer not ready,
# which the host does not record.
/^#/ { next }
$2 == "-" { print "not connected,0"; next }
$2 == 0 { print "ok," $5; next }
$2 == 3 || $2 == 6 || $2 == 7 { print "device error,0"; next }
