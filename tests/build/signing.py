#!/usr/bin/env python3
"""Signs the exe with scripts/sign and a throwaway certificate authority made here with openssl,
and checks the result, without network:
- osslsigncode verifies the signed copy against that authority, and names the signer and the
  description "Uninstall Tolvane";
- the signed copy is the unsigned exe with a certificate table appended, and only the header
  fields that point to it (the security directory entry) and the PE checksum changed;
- one flipped byte makes verification fail;
- a wrong password, a missing key and an input that is already signed each end with a clear
  message, a non-zero exit and no output file;
- a PEM certificate chain and an encrypted key, with the password from the environment, sign too.
Leaves the signed copy in WORK/TolvaneUninstall.exe for the end-to-end row that runs it.
Usage: signing.py SOURCE_DIR WORK_DIR EXE [OBJDUMP]   (OBJDUMP: also run exe_properties.py)"""
import os
import shutil
import struct
import subprocess
import sys

source, work, exe = sys.argv[1], os.path.abspath(sys.argv[2]), sys.argv[3]
objdump = sys.argv[4] if len(sys.argv) > 4 else None
sign = os.path.join(source, "scripts", "sign")
failures = []


def check(condition, message):
    if not condition:
        failures.append(message)
        print("FAIL " + message, flush=True)


def run(args, env=None):
    return subprocess.run(args, capture_output=True, text=True, env=env)


def openssl(*args):
    subprocess.run(["openssl"] + list(args), check=True, capture_output=True, cwd=work)


EXTENSIONS = """[req]
distinguished_name = dn
[dn]
[ca]
basicConstraints = critical,CA:true
keyUsage = critical,keyCertSign,cRLSign
subjectKeyIdentifier = hash
[signing]
basicConstraints = critical,CA:false
keyUsage = critical,digitalSignature
extendedKeyUsage = codeSigning
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid
"""


def make_certificates():
    """A root authority and a code-signing certificate it issued, as PKCS#12 (password "p12
    secret") and as PEM chain and encrypted key (password "pem secret")."""
    with open(os.path.join(work, "openssl.cnf"), "w") as f:
        f.write(EXTENSIONS)
    openssl("req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", "ca.key", "-out",
            "ca.pem", "-days", "30", "-subj", "/CN=Tolvane Test Root", "-config", "openssl.cnf",
            "-extensions", "ca")
    openssl("req", "-newkey", "rsa:2048", "-nodes", "-keyout", "signer.key", "-out",
            "signer.csr", "-subj", "/CN=Brenlock Test Signing/O=Brenlock", "-config",
            "openssl.cnf")
    openssl("x509", "-req", "-in", "signer.csr", "-CA", "ca.pem", "-CAkey", "ca.key",
            "-CAcreateserial", "-out", "signer.pem", "-days", "30", "-extfile", "openssl.cnf",
            "-extensions", "signing")
    openssl("pkcs12", "-export", "-inkey", "signer.key", "-in", "signer.pem", "-certfile",
            "ca.pem", "-out", "signer.p12", "-passout", "pass:p12 secret")
    openssl("pkey", "-in", "signer.key", "-aes256", "-out", "signer-encrypted.key", "-passout",
            "pass:pem secret")
    with open(os.path.join(work, "chain.pem"), "w") as f:
        for name in ("signer.pem", "ca.pem"):
            f.write(open(os.path.join(work, name)).read())
    with open(os.path.join(work, "password"), "w") as f:
        f.write("p12 secret\n")
    with open(os.path.join(work, "wrong-password"), "w") as f:
        f.write("not the password\n")


def verify(path):
    result = run(["osslsigncode", "verify", "-in", path, "-CAfile", os.path.join(work, "ca.pem")])
    return result.returncode == 0 and "Signature verification: ok" in result.stdout, result.stdout


def security_entry(data):
    """The offsets and values of the PE checksum and the security directory entry."""
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    optional = pe + 24
    magic = struct.unpack_from("<H", data, optional)[0]
    entry = optional + {0x10B: 96, 0x20B: 112}[magic] + 4 * 8
    return optional + 64, entry, struct.unpack_from("<II", data, entry)


def check_layout(unsigned, signed):
    """signed is unsigned, padded to 8 bytes, with the certificate table after it; only the
    checksum and the security directory entry differ in between."""
    checksum, entry, (offset, size) = security_entry(signed)
    padded = (len(unsigned) + 7) & ~7
    check(offset == padded and offset + size == len(signed),
          "the certificate table is not the appended tail (offset %d size %d, exe %d bytes, "
          "signed %d)" % (offset, size, len(unsigned), len(signed)))
    head = bytearray(signed[:len(unsigned)])
    for start, length in ((checksum, 4), (entry, 8)):
        head[start:start + length] = unsigned[start:start + length]
    check(bytes(head) == unsigned, "the signed copy changed bytes other than the checksum and "
          "the security directory entry")
    check(signed[len(unsigned):padded] == bytes(padded - len(unsigned)),
          "the padding before the certificate table is not zeros")
    _, _, (unsigned_offset, unsigned_size) = security_entry(unsigned)
    check(unsigned_offset == 0 and unsigned_size == 0, "the unsigned exe carries a signature")


def expect_refused(name, args, needle, program=None):
    out = os.path.join(work, "refused", name + ".exe")
    result = run([sign] + args + ["--out", out, program or exe])
    check(result.returncode != 0, "%s: exit status 0" % name)
    check(needle in result.stderr, "%s: no clear message (%r)" % (name, result.stderr.strip()))
    check(not os.listdir(os.path.dirname(out)), "%s: left %s" % (name, os.listdir(
        os.path.dirname(out))))


def main():
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(os.path.join(work, "refused"))
    make_certificates()
    signed = os.path.join(work, os.path.basename(exe))
    before = open(exe, "rb").read()
    result = run([sign, "--pkcs12", os.path.join(work, "signer.p12"), "--password-file",
                  os.path.join(work, "password"), "--url", "https://www.brenlock.example",
                  "--out", signed, exe])
    check(result.returncode == 0, "signing failed: %s" % result.stderr.strip())
    if result.returncode != 0:
        return
    check(open(exe, "rb").read() == before, "the unsigned exe changed")
    ok, report = verify(signed)
    check(ok, "the signed copy does not verify:\n" + report)
    check("Subject: /CN=Brenlock Test Signing/O=Brenlock" in report, "the signer is not named")
    check("Text description: Uninstall Tolvane" in report, "the description is not named")
    check("URL description: https://www.brenlock.example" in report, "the URL is not named")
    check_layout(before, open(signed, "rb").read())
    if objdump:
        properties = run([sys.executable, os.path.join(source, "tests", "build",
                                                       "exe_properties.py"), objdump, signed])
        check(properties.returncode == 0, "exe_properties fails on the signed copy:\n" +
              properties.stdout + properties.stderr)

    tampered = os.path.join(work, "tampered.exe")
    data = bytearray(open(signed, "rb").read())
    data[len(before) // 2] ^= 0x01
    open(tampered, "wb").write(bytes(data))
    check(not verify(tampered)[0], "a flipped byte still verifies")

    env = dict(os.environ, TOLVANE_SIGN_PASSWORD="pem secret")
    pem = os.path.join(work, "pem", "TolvaneUninstall.exe")
    result = run([sign, "--cert", os.path.join(work, "chain.pem"), "--key",
                  os.path.join(work, "signer-encrypted.key"), "--out", pem, exe], env)
    check(result.returncode == 0 and verify(pem)[0],
          "PEM chain and encrypted key: %s" % result.stderr.strip())

    p12 = ["--pkcs12", os.path.join(work, "signer.p12")]
    expect_refused("wrong-password", p12 + ["--password-file",
                                            os.path.join(work, "wrong-password")],
                   "wrong password")
    expect_refused("missing-key", ["--cert", os.path.join(work, "chain.pem"), "--key",
                                   os.path.join(work, "missing.key")], "missing or unreadable")
    expect_refused("already-signed", p12 + ["--password-file", os.path.join(work, "password")],
                   "already signed", signed)
    result = run([sign, "--pkcs12", os.path.join(work, "signer.p12"), "--password",
                  "p12 secret", exe])
    check(result.returncode != 0 and "command line" in result.stderr,
          "a password on the command line is taken")


main()
print("signing: %s" % ("ok" if not failures else "%d failure(s)" % len(failures)))
sys.exit(1 if failures else 0)
