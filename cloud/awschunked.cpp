#include "awschunked.h"

#include "awssigv4.h"

namespace {

// A chunk header or trailer line is short; anything longer is not this format.
const int kMaxLine = 4096;
const qint64 kMaxChunk = qint64(1) << 40;

} // namespace

AwsChunkedDecoder::AwsChunkedDecoder(const Signing *signing, bool trailer, Sink sink)
    : m_signed(signing != nullptr), m_trailer(trailer), m_sink(std::move(sink))
{
    if (signing) {
        m_signing = *signing;
        m_previousSignature = signing->seedSignature;
    }
}

bool AwsChunkedDecoder::fail(Error error)
{
    m_error = error;
    return false;
}

bool AwsChunkedDecoder::feed(const char *data, qint64 size)
{
    if (m_error != Error::None)
        return false;
    while (size > 0) {
        QByteArray line;
        switch (m_state) {
        case State::ChunkHeader:
            if (!takeLine(data, size, &line))
                break;
            if (!startChunk(line))
                return false;
            break;
        case State::ChunkData: {
            const qint64 part = qMin(size, m_remaining);
            if (m_signed)
                m_chunkHash.addData(data, int(part));
            if (!m_sink(data, part))
                return fail(Error::SinkRefused);
            data += part;
            size -= part;
            m_remaining -= part;
            if (m_remaining == 0)
                m_state = State::ChunkEnd;
            break;
        }
        case State::ChunkEnd:
            if (!takeLine(data, size, &line))
                break;
            if (!line.isEmpty() || !endChunk())
                return m_error == Error::None ? fail(Error::Malformed) : false;
            break;
        case State::Trailer:
            if (!takeLine(data, size, &line))
                break;
            if (!takeTrailerLine(line))
                return false;
            break;
        case State::Done:
            return fail(Error::Malformed); // bytes after the end
        }
        if (m_error != Error::None)
            return false;
    }
    return true;
}

// Collects a line ending in CRLF; true with *line (without CRLF) once it is complete.
bool AwsChunkedDecoder::takeLine(const char *&data, qint64 &size, QByteArray *line)
{
    const char *end = static_cast<const char *>(memchr(data, '\n', size_t(size)));
    const qint64 taken = end ? end - data + 1 : size;
    m_line.append(data, int(taken));
    data += taken;
    size -= taken;
    if (m_line.size() > kMaxLine)
        return fail(Error::Malformed);
    if (!end)
        return false;
    if (!m_line.endsWith("\r\n"))
        return fail(Error::Malformed);
    *line = m_line.chopped(2);
    m_line.clear();
    return true;
}

bool AwsChunkedDecoder::startChunk(const QByteArray &line)
{
    const int semicolon = line.indexOf(';');
    const QByteArray sizeText = semicolon < 0 ? line : line.left(semicolon);
    bool ok = false;
    m_remaining = sizeText.toLongLong(&ok, 16);
    if (!ok || m_remaining < 0 || m_remaining > kMaxChunk || sizeText.isEmpty())
        return fail(Error::Malformed);
    m_chunkSignature.clear();
    if (semicolon >= 0) {
        const QByteArray extension = line.mid(semicolon + 1);
        if (!extension.startsWith("chunk-signature="))
            return fail(Error::Malformed);
        m_chunkSignature = extension.mid(int(qstrlen("chunk-signature=")));
    }
    if (m_signed != !m_chunkSignature.isEmpty())
        return fail(Error::Malformed);
    m_chunkHash.reset();
    m_lastChunk = m_remaining == 0;
    if (m_lastChunk)
        return endChunk();
    m_state = State::ChunkData;
    return true;
}

bool AwsChunkedDecoder::endChunk()
{
    if (m_signed && !chunkSignatureMatches(m_chunkHash.result().toHex()))
        return fail(Error::SignatureMismatch);
    // The last chunk is followed by the trailer, or by the empty line that ends the body.
    m_state = m_lastChunk ? State::Trailer : State::ChunkHeader;
    return true;
}

bool AwsChunkedDecoder::chunkSignatureMatches(const QByteArray &chunkHashHex)
{
    const QByteArray expected = YRSigV4::signature(
        m_signing.signingKey, YRSigV4::chunkStringToSignOfHash(m_signing.dateTime, m_signing.scope,
                                                               m_previousSignature, chunkHashHex));
    if (!YRSigV4::sameSignature(expected, m_chunkSignature))
        return false;
    m_previousSignature = expected;
    return true;
}

bool AwsChunkedDecoder::takeTrailerLine(const QByteArray &line)
{
    if (line.isEmpty()) {
        if (m_trailer && m_signed) {
            const QByteArray expected = YRSigV4::signature(
                m_signing.signingKey,
                YRSigV4::trailerStringToSign(m_signing.dateTime, m_signing.scope,
                                             m_previousSignature, m_trailerBlock));
            if (!YRSigV4::sameSignature(expected, m_trailerSignature))
                return fail(Error::SignatureMismatch);
        }
        m_state = State::Done;
        return true;
    }
    const int colon = line.indexOf(':');
    if (!m_trailer || colon <= 0)
        return fail(Error::Malformed);
    const QByteArray name = line.left(colon).trimmed().toLower();
    const QByteArray value = line.mid(colon + 1).trimmed();
    if (name == "x-amz-trailer-signature") {
        m_trailerSignature = value;
        return true;
    }
    m_trailerBlock += name + ':' + value + '\n';
    m_trailers.append({name, value});
    return true;
}
