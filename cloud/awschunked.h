#ifndef AWSCHUNKED_H
#define AWSCHUNKED_H

#include <QByteArray>
#include <QCryptographicHash>
#include <QList>
#include <QPair>

#include <functional>

// Reads a body sent with Content-Encoding aws-chunked: chunks of "SIZE[;chunk-signature=SIG]
// CRLF DATA CRLF", a last chunk of size 0, then trailing headers (checksums, and for a signed
// trailer its signature) and an empty line. Each chunk's signature is checked against the
// chain that starts at the request's own signature, as the data passes, so no chunk is held.
class AwsChunkedDecoder
{
public:
    struct Signing
    {
        QByteArray signingKey;
        QByteArray dateTime;
        QByteArray scope;
        QByteArray seedSignature;
    };
    using Sink = std::function<bool(const char *data, qint64 size)>;

    // signing is null for unsigned chunks; trailer says whether trailing headers follow.
    AwsChunkedDecoder(const Signing *signing, bool trailer, Sink sink);

    // Takes the next bytes of the body; false when they break the format, a signature does
    // not match, or the sink refused the data (error() tells which).
    bool feed(const char *data, qint64 size);
    // Whether the body ended where the format says it ends.
    bool finished() const { return m_state == State::Done; }

    enum class Error { None, Malformed, SignatureMismatch, SinkRefused };
    Error error() const { return m_error; }
    // The trailing headers, names in lower case (without the trailer's signature).
    const QList<QPair<QByteArray, QByteArray>> &trailers() const { return m_trailers; }

private:
    enum class State { ChunkHeader, ChunkData, ChunkEnd, Trailer, Done };

    bool fail(Error error);
    bool takeLine(const char *&data, qint64 &size, QByteArray *line);
    bool startChunk(const QByteArray &line);
    bool endChunk();
    bool takeTrailerLine(const QByteArray &line);
    bool chunkSignatureMatches(const QByteArray &chunkHashHex);

    bool m_signed;
    Signing m_signing;
    bool m_trailer;
    Sink m_sink;
    State m_state = State::ChunkHeader;
    Error m_error = Error::None;
    QByteArray m_line;
    qint64 m_remaining = 0;
    bool m_lastChunk = false;
    QByteArray m_chunkSignature;
    QByteArray m_previousSignature;
    QCryptographicHash m_chunkHash{QCryptographicHash::Sha256};
    QByteArray m_trailerBlock;
    QByteArray m_trailerSignature;
    QList<QPair<QByteArray, QByteArray>> m_trailers;
};

#endif // AWSCHUNKED_H
