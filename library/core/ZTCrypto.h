#pragma once
// The cipher of the few texts the program keeps enciphered.
//
// A text is enciphered with a key held in the program: a synthetic nonce (the first 12 bytes
// of an HMAC-SHA-256 of the plain text) starts a SHA-256 key stream that is XORed with the
// UTF-8 bytes; the stored form is the Base64 text of nonce and cipher bytes. Enciphering is
// deterministic, so a stored text never changes, and deciphering checks the nonce, so a
// damaged or foreign text is refused instead of turning into garbage.

#include <QString>

// The stored (Base64) form of a plain text.
QString EncipherString(const QString &plain);
// The plain text of a stored text. Raises EZTException("Invalid enciphered text.", ...) when
// the text is not one that EncipherString produced.
QString DecipherString(const QString &stored);
