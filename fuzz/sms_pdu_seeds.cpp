// Writes each public PDU vector of the codec tests, as octets, into the directory given.

#include "pdu_vectors.h"

#include "sms/hex.h"

#include <fstream>
#include <iostream>
#include <string>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: sms_pdu_seeds DIRECTORY\n";
        return 2;
    }
    for (const auto& vector : sms_test::kGoodVectors) {
        const auto bytes = sms::fromHex(vector.hex);
        if (!bytes) {
            std::cerr << vector.name << ": not hex\n";
            return 1;
        }
        std::ofstream file(std::string(argv[1]) + "/" + std::string(vector.name), std::ios::binary);
        file.write(reinterpret_cast<const char*>(bytes->data()),
                   static_cast<std::streamsize>(bytes->size()));
        if (!file) {
            std::cerr << vector.name << ": cannot write\n";
            return 1;
        }
    }
    return 0;
}
