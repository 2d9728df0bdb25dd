#!/bin/sh
# Makes the secure-transfer tests' certificates in folder $1 with the openssl
# tool: a root (root.crt, the one the tests trust), an intermediate under it, and
# server certificates with their keys, each NAME.pem holding the chain its server
# sends:
#   good       for 127.0.0.1 and localhost, by the intermediate, with it
#   leafonly   the same leaf without the intermediate
#   wronghost  for other.example and 192.0.2.1 only
#   expired    valid for one day in 2020
#   selfsigned signed by itself
#   unknownca  by a root nobody trusts, sent with that root
set -eu
d=$1
mkdir -p "$d"
cd "$d"
cat > ca.cnf <<'CNF'
[ ca ]
default_ca = tests
[ tests ]
dir = .
database = index.txt
new_certs_dir = .
serial = serial
default_md = sha256
policy = anything
unique_subject = no
[ anything ]
commonName = supplied
[ req ]
distinguished_name = dn
[ dn ]
[ authority ]
basicConstraints = critical,CA:true
keyUsage = critical,keyCertSign,cRLSign
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid
[ server ]
basicConstraints = CA:false
keyUsage = critical,digitalSignature,keyEncipherment
extendedKeyUsage = serverAuth
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid
subjectAltName = IP:127.0.0.1,DNS:localhost
[ elsewhere ]
basicConstraints = CA:false
keyUsage = critical,digitalSignature,keyEncipherment
extendedKeyUsage = serverAuth
subjectAltName = DNS:other.example,IP:192.0.2.1
CNF
: > index.txt
echo 1000 > serial
ossl() { openssl "$@" 2>/dev/null >/dev/null; }
# name subject issuer extensions [startdate enddate]
sign() {
    ossl genpkey -algorithm RSA -pkeyopt rsa_keygen_bits:2048 -out "$1.key"
    ossl req -new -config ca.cnf -key "$1.key" -subj "/CN=$2" -out "$1.csr"
    if [ "$3" = self ]; then
        ossl req -x509 -config ca.cnf -key "$1.key" -subj "/CN=$2" -days 3650 -extensions "$4" -out "$1.crt"
    else
        dates="-days 3650"
        [ $# -ge 6 ] && dates="-startdate $5 -enddate $6"
        # shellcheck disable=SC2086
        ossl ca -batch -notext -config ca.cnf -cert "$3.crt" -keyfile "$3.key" -in "$1.csr" -out "$1.crt" \
            -extensions "$4" $dates
    fi
}
sign root "Novalink Test Root" self authority
sign inter "Novalink Test Intermediate" root authority
sign stranger "Stranger Root" self authority
sign good 127.0.0.1 inter server
sign wronghost other.example inter elsewhere
sign expired 127.0.0.1 inter server 20200101000000Z 20200102000000Z
sign selfsigned 127.0.0.1 self server
sign unknownca 127.0.0.1 stranger server
cat good.crt inter.crt > good.pem
cp good.key leafonly.key
cat good.crt > leafonly.pem
cat wronghost.crt inter.crt > wronghost.pem
cat expired.crt inter.crt > expired.pem
cat selfsigned.crt > selfsigned.pem
cat unknownca.crt stranger.crt > unknownca.pem
echo done > done
