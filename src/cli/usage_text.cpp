#include "cli/usage_text.h"

#include <string>
#include <string_view>

#include "cli/switch_list.h"

namespace kestrel {
namespace {

// Raw literals, so that the text reads here exactly as the user sees it. Six lines end in
// a blank on purpose ("Binary updates are " and the Ex5 to Ex9 explanations):
// scripts that compare the usage text byte for byte rely on them.
constexpr std::string_view kBeforeSwitches = R"USAGE(Usage:
 Kestrel [switches] [attr-action]

  Switches: (designated by - or /)
)USAGE";

// After the switch lines, which come from the switch list.
constexpr std::string_view kAfterSwitches = R"USAGE(

  Attr-Action
       Format:  attribute : operation : value(s)

    This field is broken up into three main sections. Not all
    sections are required for all operations. The three sections
    are the attribute section, operation section, and value section.
    By default the delimiter between the sections is the : character
    however you may prefer another delimiter or possibly can't use that
    as a delimiter so I added the -delim option above.

   attribute  This is the name of the attribute that needs to have
              the action done upon it. Obviously any attribute that
              is a valid attribute for the ldap directory is a valid
              value here but note that currently kestrel only works with
              string type values right now.

              There are two special cases built into KESTREL as of
              version V01.05.00 that allows additional functionality.

              The first case is to allow password changes. If you
              specify #setpwd#::password kestrel will use the ADSI
              IADsUser.SetPassword method to change the password.

              The second case is to allow the setting of binary
              attributes such as GUIDs and SIDs. Binary updates are 
              a little different than normal string updates and
              require encoding. To flag this to kestrel, you prefix
              the attribute that needs to be encoded with one of three
              prefixes. For GUID attributes, use GUID##, for SID
              attributes use SID##, and for general binary blobs you
              use BIN##. GUIDs need to be in standard string format
              and can have the brackets {} or not. SIDs need to be in
              the standard format S-1-x-x-x, etc. Binary blobs need to
              be in Hexidecimal and needs to be an even number of Hex
              characters (I.E. Full bytes). White space between in the
              Hex characters will be ignored but remember to put in
              quotes if you use it.

   operation  This is the operation to perform.
              Valid operations are:
                (blank) Update the attrib with the new value.
                +       Add a value to an attribute.
                -       Clear an attribute.
                ++      Add multiple values to an attribute.
                --      Remove multiple values from an attribute.
                setbits   Turn on bits of an integer attribute, keeping the
                          others: decimal, 0x hex or userAccountControl flag
                          names (ACCOUNTDISABLE), several split as for ++.
                clearbits Turn off bits of an integer attribute the same way.

   value(s)   This specifies values to use.
              If you are doing a multivalue operation with ++ or --
              you will separate the values with ;, or alternatively
              you can specify a different MV delimiter with mvdelim.

              The +,++,-- operations all require values specified.
              The - operation doesn't take a value.
              Note that trying to add multiple values to a single
              value attribute will result in error. Also note that
              doing an update (blank op) to a multivalue will wipe
              all values and replace with the one single value specified.


  Notes:
    This tool could be considered dangerous, it can quickly make some
    serious changes to your directory. Use it only when you know what
    you are doing. I take no responsibility for you dorking up your
    directory. The safety option will bail the whole operation if there
    are more objects to work on than specified with the -safety option.

    This tool is exceptionally powerful when used in conjunction with
    a command line LDAP query tool such as my own harrier with the -dsq
    switch or dsquery from Microsoft.

    If you get an error in an update operation, no modification is made
    to the specific object, even if say 3 changes were valid and one wasn't.
    Keep in mind a password change to an object is considered a different
    update than other LDAP updates since they are done in different operations.

    When doing multi-DN modifications, the errorlevel will be set to the
    last error encountered. So if you go through 8 DNs and hit 3 errors,
    only the last will be passed back to you via %errorlevel%. Also note
    that the error will be an LDAP error, not a Win32 error.

    Be very very careful of treedelete option.


  Ex1:
    kestrel -b dc=homelab,dc=net "description::Kim's Domain"
      Change Description of homelab base object.

  Ex2:
    harrier -default -f "&(objectcategory=person)(scriptpath=*)" -dsq | kestrel -unsafe scriptpath:-
      Removes logon script from all users in default domain.

  Ex3:
    harrier -gc -b  -f "proxyaddresses=*" -dsq | kestrel -unsafe proxyaddresses:-
      Removes proxyaddresses attribute from all objects in forest.

  Ex4:
    kestrel -b cn=kim,cn=users,dc=homelab,dc=net "drink:++:Coke;Mountain Dew;Labatt's;Water"
      Add some drinks to kim's user object in the directory

  Ex5:
    kestrel -b cn=kim,cn=users,dc=homelab,dc=net "drink:-:Water"
      Removes water from the drink list for kim... 

  Ex6:
    kestrel -b cn=kim,cn=users,dc=homelab,dc=net "drink:+:Vodka"
      Adds vodka to the drink list for kim... 

  Ex7:
    kestrel -b cn=kim,cn=users,dc=homelab,dc=net "drink::Water"
      Replaces the entire list with just water for kim... 

  Ex8:
    harrier -b ou=badcomputers,dc=homelab,dc=net -f "objectcategory=computer" -dsq |kestrel -unsafe -rm
      Delete all computer objects in specified OU... 

  Ex9:
    harrier -bit -default -f useraccountcontrol:AND:=2 -dsq |kestrel -unsafe -move ou=disabled,dc=homelab,dc=net
      Move all disabled objects in default domain to specified OU... 

  Ex10:
    harrier -default -f "&(name=compa*)" -showdel -dsq |kestrel -undel
      Undelete any objects named compa* and place back in last known parent...

  Ex11:
    harrier -default -f "&(name=compa*)" -showdel -dsq |kestrel -undel ou=undeleted,dc=homelab,dc=net
      Undelete any objects named compa* and place back in ou named undeleted....

  Ex12:
    kestrel -b cn=someuser,cn=users,dc=homelab,dc=net objectclass::user samaccountname::someuser
      Create disabled user someuser.

  Ex13:
    kestrel -b cn=someuser,cn=users,dc=homelab,dc=net #setpwd#::quokkas
      Sets password for someuser.

  Ex14:
    kestrel -b cn=someuser,cn=users,dc=homelab,dc=net guid##guidattr::85C04D89-D68C-4785-B801-DBF980F97C5C
      Sets GUID value on some guid based attrib on someuser.

  Ex15:
    kestrel -b cn=someuser,cn=users,dc=homelab,dc=net "bin##binattr::3f 4567 0e 69"
      Sets binary blob on some binary based attrib on someuser.

  Ex16:
    kestrel -b cn=someuser,cn=users,dc=homelab,dc=net useraccountcontrol:setbits:ACCOUNTDISABLE
      Disables someuser, keeping its other flags.

  Ex17:
    kestrel -b cn=someuser,cn=users,dc=homelab,dc=net TIME##accountexpires::2027-02-01
      Someuser expires as 2027-02-01 begins (UTC; ISO 8601, or never).



 Kestrel is maintained by its developers.
 Report faults and suggestions through the project's issue tracker.
 When reporting a fault, include the command line and the full output,
 but never a password or any other secret.

)USAGE";

constexpr std::string_view kUsageHint =
    "Type Kestrel /help or Kestrel /? for usage assistance.\n\n";

// Each switch's lines in list order, except those placed after another switch's.
std::string switchLines(const SwitchList& list, std::string_view after = {}) {
    std::string lines;
    for (const SwitchEntry& entry : list) {
        if (entry.usageAfter == after && !entry.usage.empty()) {
            lines.append("   -").append(entry.name).append(entry.usage);
            lines += switchLines(list, entry.name);
        }
    }
    return lines;
}

}  // namespace

int printUsageHint(Reporter& reporter) {
    reporter.problem(kUsageHint);
    return kUsageExitStatus;
}

int printUsage(Reporter& reporter) {
    std::string text(kBeforeSwitches);
    text += switchLines(kestrelSwitchList());
    text += kAfterSwitches;
    reporter.notice(text);
    return kUsageExitStatus;
}

}  // namespace kestrel
