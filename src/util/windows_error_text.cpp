#include "util/windows_error_text.h"

#include <array>
#include <utility>

namespace kestrel {
namespace {

struct MessageRow {
    std::uint32_t code;
    const char* text;
};

// The Win32 messages (winerror.h) of the codes this program can report: encoders,
// the password setter's directory errors, and the common system failures behind them.
constexpr std::array kWin32Messages{
    MessageRow{0, "The operation completed successfully."},
    MessageRow{2, "The system cannot find the file specified."},
    MessageRow{5, "Access is denied."},
    MessageRow{8, "Not enough memory resources are available to process this command."},
    MessageRow{13, "The data is invalid."},
    MessageRow{14, "Not enough memory resources are available to complete this operation."},
    MessageRow{31, "A device attached to the system is not functioning."},
    MessageRow{50, "The request is not supported."},
    MessageRow{87, "The parameter is incorrect."},
    MessageRow{234, "More data is available."},
    MessageRow{1113,
               "No mapping for the Unicode character exists in the target multi-byte code page."},
    MessageRow{1223, "The operation was canceled by the user."},
    MessageRow{1225, "The remote computer refused the network connection."},
    MessageRow{1317, "The specified account does not exist."},
    MessageRow{
        1323,
        "Unable to update the password. The value provided as the current password is incorrect."},
    MessageRow{1324,
               "Unable to update the password. The value provided for the new password contains "
               "values that are not allowed in passwords."},
    MessageRow{1325,
               "Unable to update the password. The value provided for the new password does not "
               "meet the length, complexity, or history requirements of the domain."},
    MessageRow{1326, "The user name or password is incorrect."},
    MessageRow{1337, "The security ID structure is invalid."},
    MessageRow{1355, "The specified domain either does not exist or could not be contacted."},
    MessageRow{1460, "This operation returned because the timeout period expired."},
    MessageRow{1705, "The string universal unique identifier (UUID) is invalid."},
    MessageRow{2245,
               "The password does not meet the password policy requirements. Check the minimum "
               "password length, password complexity and password history requirements."},
    MessageRow{5010, "The object already exists."},
    MessageRow{8202, "The specified directory service attribute or value does not exist."},
    MessageRow{8203, "The attribute syntax specified to the directory service is invalid."},
    MessageRow{8204, "The attribute type specified to the directory service is not defined."},
    MessageRow{8205, "The specified directory service attribute or value already exists."},
    MessageRow{8206, "The directory service is busy."},
    MessageRow{8207, "The directory service is unavailable."},
    MessageRow{8212,
               "The requested operation did not satisfy one or more constraints associated with "
               "the class of the object."},
    MessageRow{8213,
               "The directory service can perform the requested operation only on a leaf object."},
    MessageRow{8214,
               "The directory service cannot perform the requested operation on the RDN attribute "
               "of an object."},
    MessageRow{
        8215, "The directory service detected an attempt to modify the object class of an object."},
    MessageRow{8224, "An operations error occurred."},
    MessageRow{8225, "A protocol error occurred."},
    MessageRow{8226, "The time limit for this request was exceeded."},
    MessageRow{8227, "The size limit for this request was exceeded."},
    MessageRow{8228, "The administrative limit for this request was exceeded."},
    MessageRow{8229, "The compare response was false."},
    MessageRow{8230, "The compare response was true."},
    MessageRow{8231, "The requested authentication method is not supported by the server."},
    MessageRow{8232, "A more secure authentication method is required for this server."},
    MessageRow{8233, "Inappropriate authentication."},
    MessageRow{8234, "The authentication mechanism is unknown."},
    MessageRow{8235, "A referral was returned from the server."},
    MessageRow{8236, "The server does not support the requested critical extension."},
    MessageRow{8237, "This request requires a secure connection."},
    MessageRow{8238, "Inappropriate matching."},
    MessageRow{8239, "A constraint violation occurred."},
    MessageRow{8240, "There is no such object on the server."},
    MessageRow{8241, "There is an alias problem."},
    MessageRow{8242, "An invalid dn syntax has been specified."},
    MessageRow{8243, "The object is a leaf object."},
    MessageRow{8244, "There is an alias dereferencing problem."},
    MessageRow{8245, "The server is unwilling to process the request."},
    MessageRow{8246, "A loop has been detected."},
    MessageRow{8247, "There is a naming violation."},
    MessageRow{8248, "The result set is too large."},
    MessageRow{8249, "The operation affects multiple DSAs"},
    MessageRow{8250, "The server is not operational."},
    MessageRow{8251, "A local error has occurred."},
    MessageRow{8252, "An encoding error has occurred."},
    MessageRow{8253, "A decoding error has occurred."},
    MessageRow{8254, "The search filter cannot be recognized."},
    MessageRow{8255, "One or more parameters are illegal."},
    MessageRow{8256, "The specified method is not supported."},
    MessageRow{8257, "No results were returned."},
    MessageRow{8258, "The specified control is not supported by the server."},
    MessageRow{8259, "A referral loop was detected by the client."},
    MessageRow{8260, "The preset referral limit was exceeded."},
    MessageRow{8341, "A directory service error has occurred."},
    MessageRow{8344, "Insufficient access rights to perform the operation."},
};

// HRESULTs outside facility 7 that the password setter can return.
constexpr std::array kHresultMessages{
    MessageRow{0x80004001u, "Not implemented"},
    MessageRow{0x80004002u, "No such interface supported"},
    MessageRow{0x80004003u, "Invalid pointer"},
    MessageRow{0x80004005u, "Unspecified error"},
    MessageRow{0x8007000Eu,
               "Not enough memory resources are available to complete this operation."},
};

template <typename Table>
const char* findMessage(const Table& table, std::uint32_t code) {
    for (const auto& row : table) {
        if (row.code == code) {
            return row.text;
        }
    }
    return nullptr;
}

}  // namespace

std::string windowsErrorText(std::int32_t code) {
    const auto ucode = static_cast<std::uint32_t>(code);
    const char* text = nullptr;
    if ((ucode & 0x80000000u) != 0) {
        text = findMessage(kHresultMessages, ucode);
        if (text == nullptr && ((ucode >> 16) & 0x1FFFu) == 7) {
            text = findMessage(kWin32Messages, ucode & 0xFFFFu);
        }
    } else {
        text = findMessage(kWin32Messages, ucode);
    }
    if (text == nullptr) {
        return "Unknown Error\n";
    }
    return std::string(text) + "\n";
}

std::int32_t reportWindowsError(Reporter& reporter, const std::string& label, std::int32_t code) {
    reporter.notice(label + "(" + std::to_string(code) + ") " + windowsErrorText(code));
    return code;
}

}  // namespace kestrel
