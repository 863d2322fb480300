#!/usr/bin/python3
"""Offline adjustments to the lab DC's sam.ldb, run by scripts/lab.

Must run under /usr/bin/python3: Samba's python bindings live only there.

  labdb.py SMB_CONF setup USER NAME...   policy, non-admin user, SPNs
  labdb.py SMB_CONF spns NAME...         only make sure the SPNs exist

setup reads USER's password from the first line of standard input, so that
it shows up in no process listing.

Opening sam.ldb directly works whether or not the DC is running (ldb locks
the database), so this needs no credentials and no network.
"""

import sys

import ldb
from samba.auth import system_session
from samba.param import LoadParm
from samba.samdb import SamDB

# "Never" for maxPwdAge, as samba-tool writes it.
NEVER = str(-0x8000000000000000)


def open_samdb(conf):
    lp = LoadParm()
    lp.load(conf)
    return SamDB(url=lp.samdb_url(), session_info=system_session(lp), lp=lp)


def set_password_policy(samdb):
    # Tests change passwords repeatedly and must never find them expired;
    # complexity and the minimum length stay as the domain default.
    m = ldb.Message()
    m.dn = ldb.Dn(samdb, samdb.domain_dn())
    m["minPwdAge"] = ldb.MessageElement("0", ldb.FLAG_MOD_REPLACE, "minPwdAge")
    m["maxPwdAge"] = ldb.MessageElement(NEVER, ldb.FLAG_MOD_REPLACE, "maxPwdAge")
    samdb.modify(m)


def ensure_user(samdb, name, password):
    found = samdb.search(base=samdb.domain_dn(), scope=ldb.SCOPE_SUBTREE,
                         expression="(sAMAccountName=%s)" % ldb.binary_encode(name),
                         attrs=["dn"])
    if not found:
        samdb.newuser(name, password)


def ensure_spns(samdb, names):
    """Add ldap/NAME and HOST/NAME to the DC's own account where missing.

    Clients that ask for a service ticket by the name they connected to
    (localhost, 127.0.0.1) or by the local host name (libldap's loopback
    canonicalisation) then all find the DC.
    """
    # The server object in the configuration partition names our account.
    server = samdb.search(base=samdb.get_serverName(), scope=ldb.SCOPE_BASE,
                          attrs=["serverReference"])
    account = samdb.search(base=str(server[0]["serverReference"][0]),
                           scope=ldb.SCOPE_BASE, attrs=["servicePrincipalName"])
    if len(account) != 1:
        raise SystemExit("labdb: cannot find the DC's own account")
    have = {str(v).lower() for v in account[0].get("servicePrincipalName", [])}
    wanted = []
    for name in names:
        for service in ("ldap", "HOST"):
            spn = "%s/%s" % (service, name)
            if spn.lower() not in have:
                have.add(spn.lower())
                wanted.append(spn)
    if not wanted:
        return
    m = ldb.Message()
    m.dn = account[0].dn
    m["servicePrincipalName"] = ldb.MessageElement(wanted, ldb.FLAG_MOD_ADD,
                                                   "servicePrincipalName")
    samdb.modify(m)


def main(argv):
    if len(argv) < 3:
        raise SystemExit(__doc__)
    conf, action, rest = argv[1], argv[2], argv[3:]
    samdb = open_samdb(conf)
    if action == "setup" and rest:
        password = sys.stdin.readline().rstrip("\n")
        if not password:
            raise SystemExit("labdb: no password on standard input")
        set_password_policy(samdb)
        ensure_user(samdb, rest[0], password)
        ensure_spns(samdb, rest[1:])
    elif action == "spns":
        ensure_spns(samdb, rest)
    else:
        raise SystemExit(__doc__)


if __name__ == "__main__":
    main(sys.argv)
