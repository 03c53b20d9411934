#ifndef YRNETWORKERROR_H
#define YRNETWORKERROR_H

// The codes that YRHttpNetWorkManager's objects report in sglHttpRequestError and
// signalUploadFinished. 0 is success; 100 to 599 is the HTTP status a server answered with
// (401 token refused, 403 access or signature refused, 404 no such object, 500 the server's
// fault); the values from 1001 on say what failed before or beside an HTTP answer.
enum YRNetworkError {
    YRNE_Success = 0,
    YRNE_ConnectFailed = 1001, // refused, reset or closed before a complete answer came
    YRNE_Timeout = 1002,       // no answer, or no progress, within the request time-out
    YRNE_BadAnswer = 1003,     // an answer not of the expected form (not a JSON object, bad XML)
    YRNE_NotSignedIn = 1004,   // no session, or no store credentials: nothing was sent
    YRNE_BadRecord = 1005,     // the record lacks what the transfer needs, or names a bad target
    YRNE_LocalFile = 1006,     // the local file could not be read or written
    YRNE_Corrupted = 1007,     // the bytes that arrived or were stored do not match their MD5
    YRNE_NetworkOther = 1008,  // any other network failure (TLS, proxy, protocol)
};

#endif // YRNETWORKERROR_H
