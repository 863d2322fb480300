# ldapsearch's own output as standard input: DNs that are not plain ASCII (written as
# "dn::" and base64) and DNs too long for one line (folded), piped from the real ldapsearch
# with paging, reach the directory; the directory is checked with ldapsearch.
source "$(dirname "${BASH_SOURCE[0]}")/lab_lib.sh"

# sAMAccountName is unique in the whole domain: the names carry the process id.
U=kl$$-
# Two nested OUs of 60 characters make DNs that ldapsearch folds; one of them and two of
# the users have non-ASCII names.
LONG_ASCII="Department of Rather Long Organisational Unit Names Number 1"
LONG_UTF8="Abteilung für überaus lange Namen von Organisationseinheiten"
lab_add_ou "$LONG_ASCII"
lab_add_ou "$LONG_UTF8" "OU=$LONG_ASCII,$SUITE_OU"
DEEP="OU=$LONG_UTF8,OU=$LONG_ASCII,$SUITE_OU"
JOSE="CN=José Müller,$SUITE_OU"
ZOE="CN=Zoë Ångström,$DEEP"
PLAIN="CN=plain,OU=$LONG_ASCII,$SUITE_OU"
SHORT="CN=short,$SUITE_OU"
users=("$JOSE" "$ZOE" "$PLAIN" "$SHORT")
n=0
for dn in "${users[@]}"; do
    n=$((n + 1))
    lab_add "dn: $dn
objectClass: user
sAMAccountName: ${U}$n"
done

search() {  # search PAGE ARGS... : ldapsearch under the suite's OU, in pages of PAGE
    ldapsearch "${LDAP_ARGS[@]}" -E "pr=$1/noprompt" -b "$SUITE_OU" "${@:2}"
}

expect_descriptions() {  # expect_descriptions TEXT : every user's description is TEXT
    local dn
    for dn in "${users[@]}"; do
        expect_values "$dn" description "$1"$'\n'
    done
}

begin_case "non-ASCII and folded DNs piped from ldapsearch -LLL reach the directory"
search 1000 -LLL "(objectClass=user)" 1.1 >"$WORK_DIR/search.ldif"
# What the case is about must be in ldapsearch's output: base64 DNs and folded lines.
grep -q '^dn:: ' "$WORK_DIR/search.ldif" || mismatch "ldapsearch wrote no base64 DN"
grep -q '^ ' "$WORK_DIR/search.ldif" || mismatch "ldapsearch folded no line"
grep -q '^dn: ' "$WORK_DIR/search.ldif" || mismatch "ldapsearch wrote no plain DN"
run_kestrel_with_input_file "$WORK_DIR/search.ldif" "description::piped"
expect_status 0
expect_stdout_line "DN Count: 4"
expect_stdout_line "   DN: $JOSE..."
expect_stdout_line "   DN: $ZOE..."
expect_stderr "$BANNER"
expect_descriptions piped
end_case

begin_case "the full output (comments, attributes, pages, trailers) gives the same targets"
# Without -L: several pages of two, each with its comments and its search, result, control
# and pagedresults lines, and the entries' attributes (base64 and folded values).
search 2 "(objectClass=user)" description objectGUID distinguishedName >"$WORK_DIR/full.ldif"
grep -q '^# extended LDIF' "$WORK_DIR/full.ldif" || mismatch "ldapsearch wrote no comment first"
[[ $(grep -c '^result: 0 Success' "$WORK_DIR/full.ldif") -ge 2 ]] ||
    mismatch "ldapsearch wrote fewer than two pages"
grep -q '^objectGUID:: ' "$WORK_DIR/full.ldif" || mismatch "ldapsearch wrote no base64 value"
run_kestrel_with_input_file "$WORK_DIR/full.ldif" -q "description::paged"
expect_status 0
expect_stdout $'\n\n\n\n'
expect_stderr ""
expect_descriptions paged
end_case

begin_case "ldapsearch's RootDSE entry (dn: alone) is skipped with a warning, not modified"
ldapsearch "${LDAP_ARGS[@]}" -LLL -b "" -s base 1.1 >"$WORK_DIR/rootdse.ldif"
grep -qx 'dn:' "$WORK_DIR/rootdse.ldif" || mismatch "ldapsearch did not print dn: alone"
run_kestrel_with_input_file "$WORK_DIR/rootdse.ldif" -q "description::never"
expect_status 0
expect_stdout $'WARN: Skipped an LDIF entry with an empty DN (the RootDSE).\n'"$EMPTY_LIST"
expect_stderr ""
end_case

begin_case "a delete of the non-ASCII DNs, read from ldapsearch's LDIF"
search 1000 -LLL "(|(sAMAccountName=${U}1)(sAMAccountName=${U}2))" 1.1 >"$WORK_DIR/delete.ldif"
run_kestrel_with_input_file "$WORK_DIR/delete.ldif" -q -rm
expect_status 0
expect_stdout $'\n\n'
lab_exists "$JOSE" && mismatch "$JOSE still exists"
lab_exists "$ZOE" && mismatch "$ZOE still exists"
lab_exists "$PLAIN" || mismatch "$PLAIN was deleted too"
end_case

finish
