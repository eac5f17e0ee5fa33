// Feeds arbitrary bytes to the parsers of signed configuration: the DER
// signature of "<server file>.sig", the "publickey" text of the local file,
// the publisher's PEM key file, base64 and the serial, and the release
// values of a signed file ("rollout", "expires"). Whatever a parser accepts
// must encode back to what the parser reads again.
#include <cstdlib>
#include <string>

#include "shared/p256_codec.h"
#include "updater/engine/config/rollout.h"

namespace {

void Require(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  using namespace corvane;

  P256Signature signature;
  if (SignatureFromDer(input, &signature)) {
    // Strict DER has one encoding per value.
    Require(SignatureToDer(signature) == input);
  }

  P256PublicKey key;
  if (PublicKeyFromText(input, &key)) {
    P256PublicKey again;
    Require(PublicKeyFromText(PublicKeyText(key), &again) && again.xy == key.xy);
  }

  P256PrivateKey private_key;
  if (PrivateKeyFromPem(input, &private_key)) {
    P256PrivateKey again;
    Require(PrivateKeyFromPem(PrivateKeyPem(private_key), &again));
    Require(again.d == private_key.d && again.pub.xy == private_key.pub.xy);
  }

  std::string decoded;
  if (Base64Decode(input, &decoded)) {
    std::string again;
    Require(Base64Decode(Base64Encode(decoded), &again) && again == decoded);
  }

  uint64_t serial = 0;
  if (ParseSerial(input, &serial)) Require(serial > 0 && serial < 1000000000000000000ull);

  const int percentage = RolloutPercentage(input);
  Require(percentage >= 1 && percentage <= kFullRollout);
  const int bucket = RolloutBucket(input, input);
  Require(bucket >= 0 && bucket < kRolloutBuckets);
  uint64_t expires = 0;
  if (ParseExpiry(input, &expires)) {
    const std::string when = UtcTimeText(expires);
    Require(when.size() >= 23 && when.compare(when.size() - 4, 4, " UTC") == 0);
  }
  return 0;
}
