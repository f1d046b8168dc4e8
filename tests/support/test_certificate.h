// Self-signed certificates made on the spot, for tests that serve TLS.
#pragma once

#include <string>

namespace parlo::testing {

struct TestCertificate {
    std::string certificate_pem;
    std::string key_pem;  // PKCS #8, unencrypted
};

// An ECDSA P-256 certificate for `common_name`, valid for a day; a new key
// at every call. Empty texts when OpenSSL fails.
TestCertificate MakeTestCertificate(const std::string& common_name);

}  // namespace parlo::testing
