-- The schema of yrcloud's database, as numbered migrations applied in order and recorded in
-- schema_version. The same text runs on SQLite and on PostgreSQL, so it keeps to what both
-- understand: no autoincrement (ids come from the counters table), BIGINT and TEXT only.
-- A migration, once released, is never edited; a change is a new migration at the end.
-- Each statement ends with ";" at the end of a line.

-- migration 1: users, plans, questions and the counters that number them
CREATE TABLE counters (
    name TEXT PRIMARY KEY,
    value BIGINT NOT NULL
);
INSERT INTO counters (name, value) VALUES ('uid', 10000);
INSERT INTO counters (name, value) VALUES ('planid', 0);
CREATE TABLE users (
    uid BIGINT PRIMARY KEY,
    name TEXT NOT NULL UNIQUE,
    token_hash TEXT NOT NULL UNIQUE,
    access_key TEXT NOT NULL UNIQUE,
    secret_key TEXT NOT NULL,
    created BIGINT NOT NULL
);
CREATE TABLE plans (
    p_id BIGINT PRIMARY KEY,
    uid BIGINT NOT NULL REFERENCES users (uid),
    p_jsonroad TEXT NOT NULL UNIQUE,
    p_title TEXT NOT NULL,
    p_block BIGINT NOT NULL,
    p_board BIGINT NOT NULL,
    p_date BIGINT NOT NULL,
    p_jsonmd5 TEXT NOT NULL,
    p_rethink TEXT NOT NULL,
    p_stepnum BIGINT NOT NULL,
    p_version TEXT NOT NULL,
    updated BIGINT NOT NULL
);
CREATE INDEX plans_by_user ON plans (uid, p_date);
CREATE TABLE questions (
    question_id TEXT PRIMARY KEY,
    question_type TEXT NOT NULL,
    content TEXT NOT NULL,
    pictures TEXT NOT NULL
);
