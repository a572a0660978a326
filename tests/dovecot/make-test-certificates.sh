#!/usr/bin/env bash
# Makes a throwaway certificate authority and a server certificate signed by it, for TLS tests,
# the demo and the benchmarks. Nothing here is ever committed: every run makes new keys.
#
#   make-test-certificates.sh DIR ADDRESS [valid|expired]
#
# DIR receives ca.pem (the CA to trust), server.pem and server.key. The server certificate names
# ADDRESS as its IP address and "pop.fixture.test" as its DNS name, and nothing else, so a client
# that asks for any other name must refuse it. "expired" makes one whose validity ended a day ago.
set -euo pipefail

(($# >= 2)) || { echo "usage: $0 DIR ADDRESS [valid|expired]" >&2; exit 2; }
dir=$1 address=$2 kind=${3:-valid}
days=2
case $kind in
valid) ;;
expired) days=-1 ;;
*) echo "make-test-certificates: unknown kind $kind" >&2; exit 2 ;;
esac

mkdir -p "$dir"
cd "$dir"
umask 077
openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -keyout ca.key \
    -out ca.pem -subj "/CN=Vorlane throwaway test CA" -days 2 2>/dev/null
openssl req -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -keyout server.key \
    -out server.csr -subj "/CN=pop.fixture.test" 2>/dev/null
printf 'subjectAltName=IP:%s,DNS:pop.fixture.test\nextendedKeyUsage=serverAuth\n' "$address" \
    >server.ext
openssl x509 -req -in server.csr -CA ca.pem -CAkey ca.key -CAcreateserial -days "$days" \
    -extfile server.ext -out server.pem 2>/dev/null
rm -f server.csr server.ext ca.srl
# The CA certificate is public; Dovecot's master reads the key as root.
chmod 644 ca.pem server.pem
